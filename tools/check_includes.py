#!/usr/bin/env python3
"""The floors of the program's libraries, and whether the code keeps to them.

Every folder under src/ is one library. A library may include headers of its own folder and of
the libraries its CMakeLists.txt links directly, and those must stand on lower floors; each
library it links must also be included somewhere in it, so the link lines say exactly what the
code uses. A test folder tests/<lib>/ may include its own headers, tests/common, and anything its
test program links (the library itself, the libraries of its DEPS in tests/CMakeLists.txt, and
everything below them).

    check_includes.py [--root DIR]   check the tree at DIR (default: the one holding this file)
    check_includes.py --plant        copy the tree, plant wrong includes one at a time, and fail
                                     unless every one of them is caught (and the copy as it
                                     stands passes)
"""

import argparse
import pathlib
import re
import shutil
import sys
import tempfile

# Lowest first. A library may only link libraries of a lower floor.
FLOORS = [
    ["handoff_lib"],
    ["store"],
    ["widgets"],
    ["tree", "engine"],
    ["manager", "pages"],
    ["newjob"],
    ["browser", "net", "player"],
    ["ui"],
    ["app"],
]
FLOOR = {lib: n for n, libs in enumerate(FLOORS) for lib in libs}

# The Qt modules a library may link where not every module is welcome: the ground floor holds no
# widget code.
QT_ALLOWED = {"store": {"Core", "Network"}}

# Targets whose name is not qv_<folder>.
TARGET_FOLDER = {
    "quorvanta_handoff": "handoff_lib",
    "qv_handoff_protocol": "handoff_lib",
    "quorvanta": "app",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([A-Za-z_][A-Za-z0-9_]*)/([^"]+)"')
LINK_CALL = re.compile(r"\b(qv_library|target_link_libraries|qv_tests)\s*\(([^)]*)\)", re.S)
SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".cc"}


def folder_of(target, folders):
    if target in TARGET_FOLDER:
        return TARGET_FOLDER[target]
    if target.startswith("qv_") and target[3:] in folders:
        return target[3:]
    return None


def linked_folders(cmake_text, folders, own):
    """The program's libraries named on the link lines of one CMakeLists.txt."""
    text = re.sub(r"#[^\n]*", "", cmake_text)
    found = set()
    for call in LINK_CALL.finditer(text):
        for token in call.group(2).split()[1:]:
            lib = folder_of(token, folders)
            if lib and lib != own:
                found.add(lib)
    return found


def test_links(cmake_text, folders):
    """tests/CMakeLists.txt: the libraries each test folder's program links, by folder."""
    text = re.sub(r"#[^\n]*", "", cmake_text)
    links = {}
    for call in re.finditer(r"\bqv_tests\s*\(([^)]*)\)", text, re.S):
        words = call.group(1).split()
        libs = {folder_of(t, folders) for t in words[1:]}
        libs.discard(None)
        if words[0] in folders:
            libs.add(words[0])
        links[words[0]] = libs
    return links


def includes(path):
    found = []
    in_comment = False
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        if in_comment:
            if "*/" in line:
                in_comment = False
            continue
        if line.lstrip().startswith("/*") and "*/" not in line:
            in_comment = True
            continue
        m = INCLUDE.match(line)
        if m:
            found.append((number, m.group(1), m.group(1) + "/" + m.group(2)))
    return found


def sources(folder):
    return sorted(p for p in folder.rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())


def check(root):
    root = pathlib.Path(root)
    src, tests = root / "src", root / "tests"
    folders = sorted(p.name for p in src.iterdir() if (p / "CMakeLists.txt").is_file())
    problems = []

    deps = {}
    for lib in folders:
        if lib not in FLOOR:
            problems.append(f"src/{lib}: a library on no floor; add it to FLOORS in {__file__}")
            continue
        cmake = (src / lib / "CMakeLists.txt").read_text()
        deps[lib] = linked_folders(cmake, folders, lib)
        for module in sorted(set(re.findall(r"\bQt6::(\w+)", cmake))):
            if lib in QT_ALLOWED and module not in QT_ALLOWED[lib]:
                problems.append(f"src/{lib}/CMakeLists.txt: links Qt6::{module}, more than "
                                f"Qt {' and '.join(sorted(QT_ALLOWED[lib]))}")

    for lib, linked in sorted(deps.items()):
        for dep in sorted(linked):
            if dep in FLOOR and FLOOR[dep] >= FLOOR[lib]:
                problems.append(f"src/{lib}/CMakeLists.txt: links {dep}, which is not below it")
        used = set()
        for path in sources(src / lib):
            for number, dep, header in includes(path):
                if dep not in folders or dep == lib:
                    continue
                used.add(dep)
                where = f"{path.relative_to(root)}:{number}"
                if FLOOR.get(dep, -1) >= FLOOR[lib]:
                    problems.append(f'{where}: includes "{header}" of {dep}, not below {lib}')
                elif dep not in linked:
                    problems.append(f'{where}: includes "{header}" but {lib} does not link {dep}')
        for dep in sorted(linked - used):
            problems.append(f"src/{lib}/CMakeLists.txt: links {dep} but includes nothing of it")

    def below(start):
        seen, todo = set(), list(start)
        while todo:
            lib = todo.pop()
            if lib in seen:
                continue
            seen.add(lib)
            todo.extend(deps.get(lib, ()))
        return seen

    tests_cmake = tests / "CMakeLists.txt"
    programs = test_links(tests_cmake.read_text(), folders) if tests_cmake.is_file() else {}
    for folder in sorted(p for p in tests.iterdir() if p.is_dir()) if tests.is_dir() else []:
        name = folder.name
        if name == "common":
            allowed = {"store"}
        else:
            allowed = below(programs.get(name, {name} if name in folders else set()))
        for path in sources(folder):
            for number, dep, header in includes(path):
                if dep in (name, "common") or dep not in folders:
                    continue
                if dep not in allowed:
                    problems.append(f'{path.relative_to(root)}:{number}: includes "{header}" '
                                    f"but test_{name} does not link {dep}")
    return problems


# Faults the check must catch, each planted on its own into a copy of the tree: the line put at
# the top of the file, and words of the problem it must give.
PLANTS = [
    ("src/store/Globals.cpp", '#include "ui/frmMain.h"',
     'includes "ui/frmMain.h" of ui, not below store'),
    ("src/engine/DownloadSlot.cpp", '#include "tree/TreeMirror.h"', "not below engine"),
    ("src/player/FrameClock.cpp", '#include "store/Globals.h"', "player does not link store"),
    ("tests/store/test_vbdate.cpp", '#include "widgets/Icons.h"',
     "test_store does not link widgets"),
    ("src/browser/CMakeLists.txt", "target_link_libraries(qv_browser PUBLIC qv_newjob)",
     "links newjob but includes nothing of it"),
    ("src/pages/CMakeLists.txt", "target_link_libraries(qv_pages PUBLIC qv_newjob)",
     "links newjob, which is not below it"),
    ("src/store/CMakeLists.txt", "target_link_libraries(qv_store PUBLIC Qt6::Widgets)",
     "links Qt6::Widgets, more than Qt Core and Network"),
]


def plant(root):
    root = pathlib.Path(root)
    failures = 0
    with tempfile.TemporaryDirectory(prefix="check_includes.") as tmp:
        for part in ("src", "tests"):
            shutil.copytree(root / part, pathlib.Path(tmp) / part,
                            ignore=shutil.ignore_patterns("node_modules", "*.png", "*.swf"))
        clean = check(tmp)
        if clean:
            print("the copy fails before anything is planted:", *clean, sep="\n  ")
            return 1
        for file, line, expected in PLANTS:
            target = pathlib.Path(tmp) / file
            before = target.read_text()
            target.write_text(line + "\n" + before)
            problems = check(tmp)
            target.write_text(before)
            caught = [p for p in problems if expected in p]
            print(f"{'caught' if caught else 'MISSED'}: {line} in {file}")
            if not caught:
                failures += 1
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parent.parent)
    parser.add_argument("--plant", action="store_true")
    args = parser.parse_args()
    if args.plant:
        return plant(args.root)
    problems = check(args.root)
    for problem in problems:
        print(problem)
    if not problems:
        print("floors: " + " < ".join(", ".join(libs) for libs in FLOORS))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
