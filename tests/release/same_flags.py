#!/usr/bin/python3
"""The tested 64-bit build and the shipped 32-bit build compile the same sources with the same
flags apart from the target, so the tests run on the 64-bit program under Wine speak for the
32-bit one (which Wine here cannot run).

  same_flags.py SOURCE WORK

Configures the win32 and win64 presets into WORK and compares, for every target of the 32-bit
build (the program and its libraries): its sources, the compile lines of each source (C, C++ and
the resource compiler, with per-source definitions), its flags, include paths, link line and
link libraries. Before the comparison the build folders become <build> and the toolchain prefix
(i686-w64-mingw32 / x86_64-w64-mingw32) becomes <target>; anything else that differs fails.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

TARGET = re.compile(r"(i686|x86_64)-w64-mingw32")


def configure(source, preset, build):
    subprocess.run(["cmake", "--preset", preset, "-B", build], cwd=source, check=True, stdout=subprocess.DEVNULL)


def normalized(path, build):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = TARGET.sub("<target>", text.replace(build, "<build>"))
    return [line for line in text.splitlines() if line.strip() and not line.startswith("#")]


def compile_lines(build_make):
    """The lines of build.make that compile or link, and the per-source definition comments."""
    with open(build_make, encoding="utf-8") as f:
        return [line for line in f if "w64-mingw32" in line or "_DEFINES" in line]


def describe(build):
    """Target folder (relative) -> {file name: normalized lines}."""
    out = {}
    for target_dir in sorted(glob.glob(os.path.join(build, "**", "CMakeFiles", "*.dir"), recursive=True)):
        rel = os.path.relpath(target_dir, build)
        files = {}
        for name in ("flags.make", "link.txt", "linkLibs.rsp", "includes_CXX.rsp", "includes_C.rsp"):
            path = os.path.join(target_dir, name)
            if os.path.exists(path):
                files[name] = normalized(path, build)
        build_make = os.path.join(target_dir, "build.make")
        text = "".join(compile_lines(build_make)) if os.path.exists(build_make) else ""
        if text:  # a target that compiles (custom targets such as release_zip do not)
            files["compile lines"] = TARGET.sub("<target>", text.replace(build, "<build>")).splitlines()
        if files:
            out[rel] = files
    return out


def main():
    source, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    b32, b64 = os.path.join(work, "win32"), os.path.join(work, "win64")
    configure(source, "win32", b32)
    configure(source, "win64", b64)
    d32, d64 = describe(b32), describe(b64)

    problems = []
    program = [t for t in d32 if "compile lines" in d32[t]]
    if not any(t.endswith("proxytool.dir") for t in program):
        problems.append(f"no proxytool target found in the win32 build: {sorted(d32)}")
    for target in program:
        if target not in d64:
            problems.append(f"{target}: built for win32 only")
            continue
        for name, lines in d32[target].items():
            other = d64[target].get(name)
            if other != lines:
                diff = [f"    32: {l}" for l in lines if l not in (other or [])]
                diff += [f"    64: {l}" for l in (other or []) if l not in lines]
                problems.append(f"{target} {name} differs:\n" + "\n".join(diff))
        print(f"same: {target} ({', '.join(d32[target])})")
    shutil.rmtree(work, ignore_errors=True)
    if problems:
        sys.exit("\n".join(problems))
    print(f"{len(program)} targets of the 32-bit build are built the same way in the 64-bit build")


if __name__ == "__main__":
    main()
