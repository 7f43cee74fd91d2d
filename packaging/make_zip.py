#!/usr/bin/python3
"""Makes the release zip of the 32-bit program: proxytool.exe, README.txt and SHA256SUMS.txt.

The same commit gives the same bytes: the entries come in a fixed order, each stamped with the
commit's time (UTC; a zip time has no zone and a 2-second step), with fixed attributes and
deflate level 9, and README.txt is filled from the template with values of the build only
(version, hosts, commit). README.txt and SHA256SUMS.txt have CRLF line ends so that Notepad on
Windows 7 shows their lines; README.txt is UTF-8 with a BOM so that Notepad reads it as UTF-8.
"""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile

ORDER = ("proxytool.exe", "README.txt", "SHA256SUMS.txt")


def commit_of(source):
    out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct %H"], check=True,
                         capture_output=True, text=True).stdout.split()
    return int(out[0]), out[1]


def crlf(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n")


def readme(template, values):
    text = template
    for key, value in values.items():
        text = text.replace("@" + key + "@", value)
    left = re.findall(r"@[A-Z_]+@", text)
    if left:
        sys.exit("make_zip: README template names unknown values: " + ", ".join(sorted(set(left))))
    return b"\xef\xbb\xbf" + crlf(text).encode("utf-8")


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--readme", required=True, help="README.txt template (UTF-8, LF)")
    ap.add_argument("--version", required=True)
    ap.add_argument("--gateway-host", required=True)
    ap.add_argument("--listing-host", required=True)
    ap.add_argument("--source", required=True, help="the git checkout that was built")
    ap.add_argument("--out", required=True)
    a = ap.parse_args()

    commit_time, commit = commit_of(a.source)
    with open(a.exe, "rb") as f:
        exe = f.read()
    with open(a.readme, encoding="utf-8") as f:
        template = f.read()
    contents = {
        "proxytool.exe": exe,
        "README.txt": readme(template, {
            "VERSION": a.version,
            "GATEWAY_HOST": a.gateway_host,
            "LISTING_HOST": a.listing_host,
            "COMMIT": commit,
            "COMMIT_DATE": time.strftime("%Y-%m-%d", time.gmtime(commit_time)),
        }),
    }
    contents["SHA256SUMS.txt"] = "".join(
        f"{hashlib.sha256(contents[name]).hexdigest()}  {name}\r\n" for name in ORDER[:2]).encode("ascii")

    stamp = time.gmtime(max(commit_time, 315532800))[:6]  # zip times start in 1980
    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    partial = a.out + ".partial"
    with zipfile.ZipFile(partial, "w") as z:
        for name in ORDER:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS attributes, whatever machine made the zip
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, contents[name], compresslevel=9)
    os.replace(partial, a.out)
    print(a.out)


if __name__ == "__main__":
    main()
