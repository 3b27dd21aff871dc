#!/usr/bin/env python3
"""Download benchmark: quorvanta-get against aria2c, axel and curl, all fetching from one local
nginx that serves files on tmpfs.

  (a) a 1 GiB file, 1 and 10 connections, unthrottled
  (b) a 64 MiB file, nginx "limit_rate 4m" per connection, 10 connections
  (c) the 1 GiB file over HTTPS (a certificate from a CA made here with openssl), 10 connections,
      quorvanta-get against aria2c

For every tool and case it prints the wall time, the CPU time (user + system) and the peak
memory (maximum resident set), each the median of --runs runs, the ratios to aria2c, and whether
quorvanta-get meets its targets:
  (a) and (c) 10 connections: wall time and CPU time no more than aria2c's
  (b) within 10% of size / (connections x rate) = 1.6 s
  peak memory under 64 MiB everywhere.

Usage: bench_download.py --tool PATH/quorvanta-get [--runs 3] [--work /dev/shm/quorvanta-bench]
                         [--only a|b|c ...]
"""

import argparse
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time

GIB = 1024 * 1024 * 1024
MIB = 1024 * 1024


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    block = 16 * MIB
    with open(path, "wb") as f:
        left = size
        while left > 0:
            n = min(block, left)
            f.write(os.urandom(n))
            left -= n


def make_certs(work):
    """A CA and a server certificate for 127.0.0.1; returns (ca.pem, cert.pem, key.pem)."""
    d = os.path.join(work, "certs")
    os.makedirs(d, exist_ok=True)
    run = lambda *a: subprocess.check_call(["openssl", *a], stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=bench-ca",
        "-keyout", f"{d}/ca.key", "-out", f"{d}/ca.pem", "-addext",
        "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    with open(f"{d}/ext", "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
        f"{d}/server.key", "-out", f"{d}/server.csr")
    run("x509", "-req", "-in", f"{d}/server.csr", "-CA", f"{d}/ca.pem", "-CAkey", f"{d}/ca.key",
        "-CAcreateserial", "-days", "2", "-out", f"{d}/server.pem", "-extfile", f"{d}/ext")
    return f"{d}/ca.pem", f"{d}/server.pem", f"{d}/server.key"


def start_nginx(work, root, port, tls_port, cert, key):
    prefix = os.path.join(work, "nginx")
    os.makedirs(os.path.join(prefix, "logs"), exist_ok=True)
    os.makedirs(os.path.join(prefix, "tmp"), exist_ok=True)
    conf = f"""daemon off;
worker_processes auto;
error_log {prefix}/logs/error.log warn;
pid {prefix}/logs/nginx.pid;
events {{ worker_connections 1024; }}
http {{
  access_log off;
  client_body_temp_path {prefix}/tmp/body;
  proxy_temp_path {prefix}/tmp/proxy;
  fastcgi_temp_path {prefix}/tmp/fastcgi;
  uwsgi_temp_path {prefix}/tmp/uwsgi;
  scgi_temp_path {prefix}/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  server {{
    listen 127.0.0.1:{port};
    listen 127.0.0.1:{tls_port} ssl;
    ssl_certificate {cert};
    ssl_certificate_key {key};
    ssl_protocols TLSv1.2 TLSv1.3;
    root {root};
    location /rate/ {{ limit_rate 4m; }}
  }}
}}
"""
    conf_path = os.path.join(prefix, "nginx.conf")
    with open(conf_path, "w") as f:
        f.write(conf)
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    proc = subprocess.Popen([nginx, "-p", prefix, "-c", conf_path, "-e",
                             os.path.join(prefix, "logs", "error.log")])
    for _ in range(200):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return proc
        except OSError:
            time.sleep(0.05)
    proc.kill()
    sys.exit("nginx did not start")


def timed(cmd, cwd):
    """Runs cmd under /usr/bin/time; returns (wall s, cpu s, peak KiB, exit code)."""
    fmt = "%e %U %S %M"
    tfile = os.path.join(cwd, ".time")
    full = ["/usr/bin/time", "-o", tfile, "-f", fmt] + cmd
    start = time.monotonic()
    rc = subprocess.call(full, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - start
    with open(tfile) as f:
        parts = f.read().split()[-4:]
    os.remove(tfile)
    _, user, system, rss = parts
    return wall, float(user) + float(system), int(rss), rc


def same_file(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x = fa.read(8 * MIB)
            y = fb.read(8 * MIB)
            if x != y:
                return False
            if not x:
                return True


def tool_command(tool, qv, conns, url, out_dir, ca):
    secure = url.startswith("https://")
    if tool == "quorvanta-get":
        return [qv, "--parts", str(conns), "--dir", out_dir, url]
    if tool == "aria2c":
        return ["aria2c", "-q", "-x", str(conns), "-s", str(conns), "-k", "1M",
                "--file-allocation=falloc", "--allow-overwrite=true", "-d", out_dir] + \
               ([f"--ca-certificate={ca}"] if secure else []) + [url]
    if secure:
        return None
    if tool == "axel":
        return ["axel", "-q", "-n", str(conns), "-o", out_dir, url]
    if tool == "curl":
        if conns != 1:
            return None
        return ["curl", "-s", "-o", os.path.join(out_dir, os.path.basename(url)), url]
    return None


def measure(tool, qv, conns, url, source, out_dir, runs, ca):
    results = []
    for _ in range(runs):
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
        cmd = tool_command(tool, qv, conns, url, out_dir, ca)
        if cmd is None:
            return None
        wall, cpu, rss, rc = timed(cmd, out_dir)
        target = os.path.join(out_dir, os.path.basename(url))
        ok = rc == 0 and os.path.exists(target) and same_file(target, source)
        results.append((wall, cpu, rss, ok))
        shutil.rmtree(out_dir, ignore_errors=True)
    return {
        "wall": statistics.median(r[0] for r in results),
        "cpu": statistics.median(r[1] for r in results),
        "rss": max(r[2] for r in results),
        "ok": all(r[3] for r in results),
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True, help="path of quorvanta-get")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--work", default="/dev/shm/quorvanta-bench")
    ap.add_argument("--keep-files", action="store_true", help="keep the source files")
    ap.add_argument("--only", nargs="+", choices=["a", "b", "c"], default=["a", "b", "c"],
                    help="cases to run")
    args = ap.parse_args()
    qv = os.path.abspath(args.tool)
    for prog in ("aria2c", "axel", "curl", "openssl", "/usr/bin/time"):
        if not shutil.which(prog):
            sys.exit(f"{prog} is needed")

    work = args.work
    root = os.path.join(work, "www")
    os.makedirs(os.path.join(root, "rate"), exist_ok=True)
    print("Preparing files on tmpfs ...", flush=True)
    big = os.path.join(root, "big.bin")
    mid = os.path.join(root, "rate", "mid.bin")
    make_file(big, GIB)
    make_file(mid, 64 * MIB)
    ca, cert, key = make_certs(work)
    # quorvanta-get trusts the test CA through the conventional variable.
    os.environ["SSL_CERT_FILE"] = ca
    port = free_port()
    tls_port = free_port()
    nginx = start_nginx(work, root, port, tls_port, cert, key)
    out_dir = os.path.join(work, "out")
    base = f"http://127.0.0.1:{port}"
    secure = f"https://127.0.0.1:{tls_port}"
    cases = [
        ("(a) 1 GiB, 1 connection", 1, base + "/big.bin", big),
        ("(a) 1 GiB, 10 connections", 10, base + "/big.bin", big),
        ("(b) 64 MiB, 4m/conn, 10 conn.", 10, base + "/rate/mid.bin", mid),
        ("(c) 1 GiB HTTPS, 10 conn.", 10, secure + "/big.bin", big),
    ]
    cases = [c for c in cases if c[0][1] in args.only]
    tools = ["quorvanta-get", "aria2c", "axel", "curl"]
    table = {}
    try:
        for title, conns, url, source in cases:
            for tool in tools:
                print(f"  {title}: {tool} ...", flush=True)
                table[(title, tool)] = measure(tool, qv, conns, url, source, out_dir, args.runs,
                                               ca)
    finally:
        nginx.send_signal(signal.SIGQUIT)
        try:
            nginx.wait(10)
        except subprocess.TimeoutExpired:
            nginx.kill()
        shutil.rmtree(out_dir, ignore_errors=True)
        if not args.keep_files:
            shutil.rmtree(work, ignore_errors=True)

    print()
    print(f"Median of {args.runs} runs; peak memory is the largest of the runs.")
    header = (f"{'case':<30} {'tool':<14} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9} "
              f"{'wall/aria':>10} {'cpu/aria':>9} {'file':>5}")
    print(header)
    print("-" * len(header))
    verdicts = []
    for title, conns, url, source in cases:
        aria = table.get((title, "aria2c"))
        for tool in tools:
            r = table.get((title, tool))
            if r is None:
                print(f"{title:<30} {tool:<14} {'n/a':>8}")
                continue
            wr = r["wall"] / aria["wall"] if aria else float("nan")
            cr = r["cpu"] / aria["cpu"] if aria and aria["cpu"] > 0 else float("nan")
            print(f"{title:<30} {tool:<14} {r['wall']:>8.2f} {r['cpu']:>8.2f} "
                  f"{r['rss'] / 1024:>9.1f} {wr:>10.2f} {cr:>9.2f} {'ok' if r['ok'] else 'BAD':>5}")
        qvr = table[(title, "quorvanta-get")]
        verdicts.append((f"{title}: file correct", qvr["ok"]))
        verdicts.append((f"{title}: peak memory {qvr['rss'] / 1024:.1f} MiB < 64 MiB",
                         qvr["rss"] < 64 * 1024))
        if (title.startswith("(a)") or title.startswith("(c)")) and conns == 10:
            verdicts.append((f"{title}: wall {qvr['wall']:.2f} s <= aria2c {aria['wall']:.2f} s",
                             qvr["wall"] <= aria["wall"]))
            verdicts.append((f"{title}: cpu {qvr['cpu']:.2f} s <= aria2c {aria['cpu']:.2f} s",
                             qvr["cpu"] <= aria["cpu"]))
        if title.startswith("(b)"):
            limit = 64 * MIB / (10 * 4 * MIB)
            verdicts.append((f"{title}: wall {qvr['wall']:.2f} s within 10% of {limit:.2f} s",
                             qvr["wall"] <= limit * 1.10))
    print()
    print("Targets for quorvanta-get:")
    for text, good in verdicts:
        print(f"  [{'met' if good else 'MISSED'}] {text}")
    return 0 if all(g for _, g in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
