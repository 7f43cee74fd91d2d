#!/usr/bin/python3
"""The download check refuses a release with one fault put in, and names that fault.

  zip_check_faults.py GOOD_ZIP VERSION GATEWAY_HOST LISTING_HOST

Each row changes the good zip in one way (bytes of proxytool.exe, the README, the sums, the
entries, or what the check is told to expect) and names a text that the check's failures must
contain. After a change to proxytool.exe its PE checksum and the sums are made right again, so
that the row's own fault is the one that shows.
"""
import hashlib
import io
import os
import sys
import types
import zipfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging"))
import check_zip  # noqa: E402

def read(path):
    with zipfile.ZipFile(path) as z:
        return {i.filename: z.read(i) for i in z.infolist()}, z.infolist()[0].date_time


def pack(files, stamp, fix_sums=True):
    files = dict(files)
    if fix_sums and "SHA256SUMS.txt" in files:
        files["SHA256SUMS.txt"] = "".join(
            f"{hashlib.sha256(files[n]).hexdigest()}  {n}\r\n"
            for n in ("proxytool.exe", "README.txt") if n in files).encode()
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in files.items():
            z.writestr(zipfile.ZipInfo(name, date_time=stamp), data, compress_type=zipfile.ZIP_DEFLATED)
    return buf.getvalue()


def pe_fields(exe, **fields):
    """Sets header fields (FILE_HEADER / OPTIONAL_HEADER attribute names), then the checksum."""
    pe = pefile.PE(data=exe)
    for key, value in fields.items():
        header = pe.FILE_HEADER if hasattr(pe.FILE_HEADER, key) else pe.OPTIONAL_HEADER
        setattr(header, key, value)
    if "CheckSum" not in fields:
        pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()


def swap(exe, old, new):
    """Replaces bytes of the same length once, then fixes the checksum."""
    assert len(old) == len(new) and exe.count(old) == 1, (old, exe.count(old))
    return pe_fields(exe.replace(old, new))


def main():
    good_path, version, gateway, listing = sys.argv[1:5]
    good, stamp = read(good_path)
    name = os.path.basename(good_path)
    expect = types.SimpleNamespace(version=version, gateway_host=gateway, listing_host=listing)
    exe, readme = good["proxytool.exe"], good["README.txt"]
    checksum = pefile.PE(data=exe).OPTIONAL_HEADER.CheckSum

    with_exe = lambda e: pack({**good, "proxytool.exe": e}, stamp)
    with_readme = lambda r: pack({**good, "README.txt": r}, stamp)
    rows = [
        # (what, zip bytes, zip name, expectations, text the failures must contain)
        ("64-bit machine", with_exe(pe_fields(exe, Machine=0x8664)), name, expect,
         "machine is 0x8664"),
        ("console program", with_exe(pe_fields(exe, Subsystem=3)), name, expect, "subsystem is 3"),
        ("checksum field off by one", with_exe(pe_fields(exe, CheckSum=checksum ^ 1)), name, expect,
         "checksum field"),
        ("link time stamp", with_exe(pe_fields(exe, TimeDateStamp=0x60000000)), name, expect,
         "header has a time stamp"),
        ("imports the mingw runtime", with_exe(swap(exe, b"msvcrt.dll\0", b"libgcc.dll\0")), name, expect,
         "mingw runtime DLL libgcc.dll"),
        ("imports a DLL from elsewhere", with_exe(swap(exe, b"WS2_32.dll\0", b"zlib_1.dll\0")), name, expect,
         "imports zlib_1.dll"),
        ("manifest without Windows 10/11",
         with_exe(swap(exe, b"8e0f7a12-bfb3-4fe8", b"8e0f7a13-bfb3-4fe8")), name, expect,
         "supportedOS lacks ['Windows 10 and 11']"),
        ("manifest asks for elevation",
         with_exe(swap(exe, b'level="asInvoker" uiAccess="false"', b'level="highestAvailable"          ')),
         name, expect, "execution level is ['highestAvailable']"),
        ("manifest with common controls 5",
         with_exe(swap(exe, b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                       b'name="Microsoft.Windows.Common-Controls" version="5.8.0.0"')),
         name, expect, "Common Controls 6.0.0.0"),
        ("version resource of another release", pack(good, stamp), name.replace(version, "9.9.9"),
         types.SimpleNamespace(version="9.9.9", gateway_host=gateway, listing_host=listing),
         "FileVersion is '" + version + "', expected '9.9.9'"),
        ("built for another gateway", pack(good, stamp), name,
         types.SimpleNamespace(version=version, gateway_host="other.example.test", listing_host=listing),
         "does not contain the host other.example.test"),
        ("README without BOM", with_readme(readme[3:]), name, expect, "does not start with the UTF-8 BOM"),
        ("README with LF line ends", with_readme(readme.replace(b"\r\n", b"\n")), name, expect,
         "line ends other than CRLF"),
        ("README naming another listing host",
         with_readme(readme.replace(listing.encode(), b"www.elsewhere.test", 1)), name, expect,
         "names LISTING_HOST as"),
        ("sum of the exe wrong",
         pack({**good, "SHA256SUMS.txt": good["SHA256SUMS.txt"].replace(
             hashlib.sha256(exe).hexdigest().encode(), b"0" * 64)}, stamp, fix_sums=False),
         name, expect, "proxytool.exe has another sum"),
        ("a runtime DLL beside the exe", pack({**good, "libstdc++-6.dll": b"MZ"}, stamp), name, expect,
         "zip entries are"),
        ("README missing", pack({k: v for k, v in good.items() if k != "README.txt"}, stamp), name, expect,
         "zip entries are"),
    ]

    baseline, _, count = check_zip.check_release(pack(good, stamp), name, expect)
    problems = [f"the good zip, repacked, fails: {baseline}"] if baseline else []
    print(f"the good zip: {count} checks, none failed" if not baseline else problems[0])
    for what, raw, zip_name, expectation, needle in rows:
        failed, _, _ = check_zip.check_release(raw, zip_name, expectation)
        hit = [f for f in failed if needle in f]
        print(f"{'ok ' if hit else 'BAD'} {what}: {len(failed)} failed check(s); {hit[0] if hit else failed}")
        if not hit:
            problems.append(f"{what}: no failure names {needle!r}; failures were {failed}")
    if problems:
        sys.exit("\n".join(problems))


if __name__ == "__main__":
    main()
