"""When the message loop ends, WinMain returns and the C runtime runs the destructors of static
objects before the process ends, while harvest workers and a probe may still run. So the program
keeps no static object that has a destructor: this reads the symbols of everything linked into
proxytool.exe and fails on any destructor registered for exit (g++ makes a __tcf_ function for
each, registered with atexit)."""

import subprocess
import sys


def registrations(nm, path):
    out = subprocess.run([nm, "-A", path], check=True, capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        # "<archive>:<member>:<value> <type> <name>"; the value is blank for undefined symbols
        fields = line.split()
        if len(fields) < 2:
            continue
        name, kind = fields[-1], fields[-2]
        if name.startswith("__tcf_") or (kind == "U" and name in ("atexit", "_onexit", "__cxa_atexit")):
            found.append(fields[0].rsplit(":", 1)[0] + "  " + kind + " " + name)
    return found


def main(argv):
    nm = argv[1]
    paths = [p for p in argv[2:] if p.endswith((".a", ".obj", ".o"))]  # not the resource script
    found = [f for p in paths for f in registrations(nm, p)]
    for f in found:
        print("registered for exit:", f)
    print(f"{len(paths)} inputs of proxytool.exe read, {len(found)} exit-time destructor registrations")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
