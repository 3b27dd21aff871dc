#!/usr/bin/env python3
"""Download benchmark: quorvanta-get against aria2c, axel and curl, all fetching from one local
nginx that serves files on tmpfs.

  (a) a 1 GiB file, 1 and 10 connections, unthrottled
  (b) a 64 MiB file, nginx "limit_rate 4m" per connection, 10 connections
  (c) a 256 MiB file over HTTPS (a certificate from a CA made here with openssl), 10 connections,
      quorvanta-get against aria2c
  (d) slowed connection: a 64 MiB file, one connection in ten (by nginx's connection serial
      number) held to 256 KiB/s and the others to 4 MiB/s, 10 connections, against aria2c
  (e) capped server: a 64 MiB file from a server that takes 4 connections per client (503 for
      more) at 4 MiB/s each, 10 connections asked for, against aria2c

Every file fetched is compared byte for byte with the served one. For every tool and case it
prints the wall time, the CPU time (user + system) and the peak memory (maximum resident set),
each the median of --runs runs, the ratios to aria2c (run with -x10 -s10 -k1M), and whether
quorvanta-get meets its targets:
  (a) 10 connections: wall time and CPU time at most 0.6 x aria2c's, peak memory not above it
  (b) within 10% of size / (connections x rate) = 1.6 s
  (c) wall time and CPU time at most 0.9 x aria2c's
  (d) wall time at most 0.6 x aria2c's
  (e) wall time at most 1.05 x aria2c's
  peak memory under 64 MiB everywhere.
At the end one table holds the ratios of every case.

Usage: bench_download.py --tool PATH/quorvanta-get [--runs 3] [--work /dev/shm/quorvanta-bench]
                         [--only a|b|c|d|e ...]
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
    # /slowed/: one connection in ten (serial number ending in 0) slow, the others 4 MiB/s.
    # /capped/: 4 connections per client; the rest are turned away with 503.
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
  map $connection $qv_rate {{ ~0$ 256k; default 4m; }}
  limit_conn_zone $binary_remote_addr zone=qvperip:1m;
  server {{
    listen 127.0.0.1:{port};
    listen 127.0.0.1:{tls_port} ssl;
    ssl_certificate {cert};
    ssl_certificate_key {key};
    ssl_protocols TLSv1.2 TLSv1.3;
    root {root};
    # Rate limits without sendfile: with it nginx sends a second's worth of bytes in one burst,
    # so a connection (or a short request) gets far more than its rate.
    location /rate/ {{ sendfile off; limit_rate 4m; }}
    location /slowed/ {{ sendfile off; limit_rate $qv_rate; }}
    location /capped/ {{ sendfile off; limit_conn qvperip 4; limit_conn_status 503; limit_rate 4m; }}
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
        # The server lets go of the last run's connections first: a capped server still counts
        # them for a moment and would turn the next run's first request away.
        time.sleep(1)
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


# Targets per case: (wall ratio, cpu ratio, peak memory at most aria2c's); None where the case
# has no such target. (b) is measured against its rate instead.
TARGETS = {
    "a": (0.6, 0.6, True),
    "c": (0.9, 0.9, False),
    "d": (0.6, None, False),
    "e": (1.05, None, False),
}


def ratio(a, b):
    return a / b if b > 0 else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True, help="path of quorvanta-get")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--work", default="/dev/shm/quorvanta-bench")
    ap.add_argument("--keep-files", action="store_true", help="keep the source files")
    ap.add_argument("--only", nargs="+", choices=list("abcde"), default=list("abcde"),
                    help="cases to run")
    args = ap.parse_args()
    qv = os.path.abspath(args.tool)
    for prog in ("aria2c", "axel", "curl", "openssl", "/usr/bin/time"):
        if not shutil.which(prog):
            sys.exit(f"{prog} is needed")

    work = args.work
    root = os.path.join(work, "www")
    for sub in ("rate", "slowed", "capped"):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    big = os.path.join(root, "big.bin")
    quarter = os.path.join(root, "quarter.bin")
    mid = os.path.join(root, "rate", "mid.bin")
    slowed = os.path.join(root, "slowed", "mid.bin")
    capped = os.path.join(root, "capped", "mid.bin")
    port = free_port()
    tls_port = free_port()
    base = f"http://127.0.0.1:{port}"
    secure = f"https://127.0.0.1:{tls_port}"
    all_tools = ["quorvanta-get", "aria2c", "axel", "curl"]
    versus_aria = ["quorvanta-get", "aria2c"]
    # (letter, title, connections, url, source file, size, tools)
    cases = [
        ("a", "(a) 1 GiB, 1 connection", 1, base + "/big.bin", big, GIB, all_tools),
        ("a", "(a) 1 GiB, 10 connections", 10, base + "/big.bin", big, GIB, all_tools),
        ("b", "(b) 64 MiB, 4m/conn, 10 conn.", 10, base + "/rate/mid.bin", mid, 64 * MIB,
         all_tools),
        ("c", "(c) 256 MiB HTTPS, 10 conn.", 10, secure + "/quarter.bin", quarter, 256 * MIB,
         versus_aria),
        ("d", "(d) 64 MiB, slowed conn., 10", 10, base + "/slowed/mid.bin", slowed, 64 * MIB,
         versus_aria),
        ("e", "(e) 64 MiB, capped at 4, 10", 10, base + "/capped/mid.bin", capped, 64 * MIB,
         versus_aria),
    ]
    cases = [c for c in cases if c[0] in args.only]
    print("Preparing files on tmpfs ...", flush=True)
    for case in cases:
        make_file(case[4], case[5])
    ca, cert, key = make_certs(work)
    # quorvanta-get trusts the test CA through the conventional variable.
    os.environ["SSL_CERT_FILE"] = ca
    nginx = start_nginx(work, root, port, tls_port, cert, key)
    out_dir = os.path.join(work, "out")
    table = {}
    try:
        for _, title, conns, url, source, _, tools in cases:
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
    summary = []
    for letter, title, conns, url, source, _, tools in cases:
        aria = table.get((title, "aria2c"))
        for tool in tools:
            r = table.get((title, tool))
            if r is None:
                print(f"{title:<30} {tool:<14} {'n/a':>8}")
                continue
            wr = ratio(r["wall"], aria["wall"]) if aria else float("nan")
            cr = ratio(r["cpu"], aria["cpu"]) if aria else float("nan")
            print(f"{title:<30} {tool:<14} {r['wall']:>8.2f} {r['cpu']:>8.2f} "
                  f"{r['rss'] / 1024:>9.1f} {wr:>10.2f} {cr:>9.2f} {'ok' if r['ok'] else 'BAD':>5}")
        qvr = table[(title, "quorvanta-get")]
        met = []
        verdicts.append((f"{title}: file correct", qvr["ok"]))
        if aria is not None and not aria["ok"]:
            verdicts.append((f"{title}: aria2c's file was not right; its times say little",
                             False))
        verdicts.append((f"{title}: peak memory {qvr['rss'] / 1024:.1f} MiB < 64 MiB",
                         qvr["rss"] < 64 * 1024))
        target = TARGETS.get(letter) if conns == 10 else None
        if target and aria:
            wall_max, cpu_max, rss_max = target
            good = qvr["wall"] <= wall_max * aria["wall"]
            met.append(good)
            verdicts.append((f"{title}: wall {qvr['wall']:.2f} s <= {wall_max} x aria2c "
                             f"{aria['wall']:.2f} s", good))
            if cpu_max is not None:
                good = qvr["cpu"] <= cpu_max * aria["cpu"]
                met.append(good)
                verdicts.append((f"{title}: cpu {qvr['cpu']:.2f} s <= {cpu_max} x aria2c "
                                 f"{aria['cpu']:.2f} s", good))
            if rss_max:
                good = qvr["rss"] <= aria["rss"]
                met.append(good)
                verdicts.append((f"{title}: peak memory {qvr['rss'] / 1024:.1f} MiB <= aria2c "
                                 f"{aria['rss'] / 1024:.1f} MiB", good))
        if letter == "b":
            limit = 64 * MIB / (10 * 4 * MIB)
            good = qvr["wall"] <= limit * 1.10
            met.append(good)
            verdicts.append((f"{title}: wall {qvr['wall']:.2f} s within 10% of {limit:.2f} s",
                             good))
        met.append(qvr["ok"])
        summary.append((title, qvr, aria, all(met) if met else None))
    print()
    print("Targets for quorvanta-get:")
    for text, good in verdicts:
        print(f"  [{'met' if good else 'MISSED'}] {text}")

    print()
    print("Ratios (quorvanta-get / aria2c):")
    head = (f"{'case':<30} {'qv wall':>8} {'cpu':>7} {'MiB':>6} {'aria wall':>10} {'cpu':>7} "
            f"{'MiB':>6} {'wall x':>7} {'cpu x':>6} {'MiB x':>6} {'target':>7}")
    print(head)
    print("-" * len(head))
    for title, q, a, good in summary:
        if a is None:
            a = {"wall": float("nan"), "cpu": float("nan"), "rss": float("nan")}
        print(f"{title:<30} {q['wall']:>8.2f} {q['cpu']:>7.2f} {q['rss'] / 1024:>6.1f} "
              f"{a['wall']:>10.2f} {a['cpu']:>7.2f} {a['rss'] / 1024:>6.1f} "
              f"{ratio(q['wall'], a['wall']):>7.2f} {ratio(q['cpu'], a['cpu']):>6.2f} "
              f"{ratio(q['rss'], a['rss']):>6.2f} {'met' if good else 'MISSED':>7}")
    return 0 if all(g for _, g in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
