#!/usr/bin/python3
"""Checks a release zip the way a careful user checks a download, and prints what it read.

  check_zip.py ZIP --version V --gateway-host H[:P] --listing-host L

The zip: exactly proxytool.exe, README.txt, SHA256SUMS.txt (that order), CRCs sound, the sums
right. README.txt: UTF-8 with BOM and CRLF, Chinese and English, naming this build's version and
hosts. proxytool.exe (read with Debian's python3-pefile, hence /usr/bin/python3): PE32 for i386,
Windows GUI subsystem, a valid checksum when one is set, no time stamps, imports from Windows'
own DLLs only, the version resource and the manifest. Exit status 1 when any check fails.
"""
import argparse
import hashlib
import io
import os
import re
import sys
import xml.etree.ElementTree as ET
import zipfile

import pefile

ORDER = ["proxytool.exe", "README.txt", "SHA256SUMS.txt"]

# DLLs that are part of every Windows from 7 on. The mingw runtime (libstdc++, libgcc,
# libwinpthread) must be linked in, never imported; msvcrt.dll is the system's C library.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "wininet.dll", "ws2_32.dll",
    "advapi32.dll", "msvcrt.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
    "shlwapi.dll", "version.dll", "winmm.dll", "iphlpapi.dll", "mswsock.dll", "crypt32.dll",
    "secur32.dll", "ntdll.dll", "uxtheme.dll", "psapi.dll",
}
MINGW_RUNTIME = re.compile(r"^(libstdc\+\+|libgcc|libwinpthread|libssp|libgomp)", re.I)

SUPPORTED_OS = {  # the Ids of the compatibility section
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}

RT_VERSION, RT_MANIFEST = 16, 24


class Checks:
    def __init__(self):
        self.failed = []
        self.count = 0

    def __call__(self, ok, what):
        self.count += 1
        if not ok:
            self.failed.append(what)
        return ok


def local(tag):
    return tag.rsplit("}", 1)[-1]


def check_zip_entries(z, check, out):
    infos = z.infolist()
    names = [i.filename for i in infos]
    check(names == ORDER, f"zip entries are {names}, expected exactly {ORDER} in this order")
    bad = z.testzip()
    check(bad is None, f"zip entry {bad} fails its CRC")
    out.append("files:")
    for i in infos:
        out.append(f"  {i.file_size:>9}  {i.compress_size:>9} packed  "
                   f"{'%04d-%02d-%02d %02d:%02d:%02d' % i.date_time}  {i.filename}")
    stamps = {i.date_time for i in infos}
    check(len(stamps) == 1, f"zip entries carry different times {sorted(stamps)}")
    return {n: z.read(n) for n in names if n in ORDER}


def check_sums(files, check):
    sums = files.get("SHA256SUMS.txt", b"")
    listed = {}
    for line in sums.split(b"\r\n"):
        if not line:
            continue
        m = re.fullmatch(rb"([0-9a-f]{64})  (\S+)", line)
        if check(m is not None, f"SHA256SUMS.txt line {line!r} is not '<sha256>  <name>' with CRLF"):
            listed[m.group(2).decode()] = m.group(1).decode()
    check(sorted(listed) == ["README.txt", "proxytool.exe"],
          f"SHA256SUMS.txt lists {sorted(listed)}, expected proxytool.exe and README.txt")
    for name, digest in listed.items():
        if name in files:
            check(hashlib.sha256(files[name]).hexdigest() == digest, f"SHA256SUMS.txt: {name} has another sum")


def check_readme(data, a, check):
    check(data.startswith(b"\xef\xbb\xbf"), "README.txt does not start with the UTF-8 BOM")
    try:
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError as e:
        check(False, f"README.txt is not UTF-8: {e}")
        return
    check(re.search(r"(?<!\r)\n|\r(?!\n)", text) is None, "README.txt has line ends other than CRLF")
    check(re.search(r"[\u4e00-\u9fff]", text) is not None, "README.txt has no Chinese text")
    check("English" in text, "README.txt has no English part")
    for key, want in (("GATEWAY_HOST", a.gateway_host), ("LISTING_HOST", a.listing_host)):
        said = re.findall(key + r"[^A-Za-z0-9]*([A-Za-z0-9][A-Za-z0-9.:-]*)", text)
        check(len(said) >= 2 and set(said) == {want},
              f"README.txt names {key} as {said}, expected {want} in both languages")
    for needle in (a.version, "设置HTTP代理", "取消代理", "Internet 选项", "Internet Options",
                   "警告", "Warning", "Windows 7", "Windows 10", "11"):
        check(needle in text, f"README.txt does not mention {needle!r}")


def resources(pe, type_id):
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for t in root.entries if root else []:
        if t.id != type_id:
            continue
        for name in t.directory.entries:
            for lang in name.directory.entries:
                d = lang.data.struct
                found.append((name.id, pe.get_data(d.OffsetToData, d.Size)))
    return found


def resource_stamps(directory):
    yield directory.struct.TimeDateStamp
    for e in directory.entries:
        if hasattr(e, "directory"):
            yield from resource_stamps(e.directory)


def check_pe(exe, a, check, out):
    try:
        pe = pefile.PE(data=exe)
    except pefile.PEFormatError as e:
        check(False, f"proxytool.exe is not a PE file: {e}")
        return
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    check(oh.Magic == 0x10B, f"proxytool.exe is not PE32 (optional header magic {oh.Magic:#x})")
    check(fh.Machine == 0x14C, f"proxytool.exe machine is {fh.Machine:#x}, expected i386 (0x14c)")
    check(oh.Subsystem == 2, f"proxytool.exe subsystem is {oh.Subsystem}, expected Windows GUI (2)")
    check(fh.Characteristics & 0x2 and not fh.Characteristics & 0x2000, "proxytool.exe is not an executable image")
    computed = pe.generate_checksum()
    check(oh.CheckSum in (0, computed), f"proxytool.exe checksum field {oh.CheckSum:#x}, computed {computed:#x}")
    check(fh.TimeDateStamp == 0, f"proxytool.exe header has a time stamp ({fh.TimeDateStamp})")
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        stamps = set(resource_stamps(pe.DIRECTORY_ENTRY_RESOURCE))
        check(stamps == {0}, f"proxytool.exe resource directories have time stamps {sorted(stamps)}")
    check(not hasattr(pe, "DIRECTORY_ENTRY_DEBUG"), "proxytool.exe has a debug directory (time stamps, paths)")
    out.append(f"proxytool.exe: {'PE32' if oh.Magic == 0x10B else hex(oh.Magic)}, machine {fh.Machine:#x}, "
               f"subsystem {oh.Subsystem}, checksum field {oh.CheckSum:#x} (computed {computed:#x}), "
               f"time stamp {fh.TimeDateStamp}, {len(exe)} bytes")

    out.append("imports:")
    imports = list(getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])) + list(getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []))
    check(imports, "proxytool.exe imports nothing (not a Windows program?)")
    for entry in imports:
        dll = entry.dll.decode("ascii", "replace")
        names = [i.name.decode() if i.name else f"#{i.ordinal}" for i in entry.imports]
        out.append(f"  {dll} ({len(names)}): {', '.join(names)}")
        if MINGW_RUNTIME.match(dll):
            check(False, f"proxytool.exe imports the mingw runtime DLL {dll}: it must be linked in")
        else:
            check(dll.lower() in SYSTEM_DLLS, f"proxytool.exe imports {dll}, not a DLL of Windows itself")

    check_version_resource(pe, a, check, out)
    check_manifest(pe, a, check, out)

    for host in (a.gateway_host, a.listing_host):
        check(host.encode() in exe, f"proxytool.exe does not contain the host {host}")


def check_version_resource(pe, a, check, out):
    strings, fixed = {}, None
    for fi in getattr(pe, "FileInfo", []) or []:
        for block in fi:
            if getattr(block, "Key", b"") == b"StringFileInfo":
                for table in block.StringTable:
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        fixed = pe.VS_FIXEDFILEINFO[0]
    check(strings, "proxytool.exe has no version strings")
    out.append("version resource:")
    for key in sorted(strings):
        out.append(f"  {key} = {strings[key]}")
    parts = [int(p) for p in a.version.split(".")] + [0] * 4
    quad = parts[:4]
    if check(fixed is not None, "proxytool.exe has no fixed version information"):
        got = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
               fixed.FileVersionLS & 0xFFFF]
        got_product = [fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF]
        out.append(f"  (fixed) FILEVERSION {'.'.join(map(str, got))}, PRODUCTVERSION {'.'.join(map(str, got_product))}")
        check(got == quad and got_product == quad,
              f"fixed FILEVERSION {got} / PRODUCTVERSION {got_product}, expected {quad}")
    for key in ("FileVersion", "ProductVersion"):
        check(strings.get(key) == a.version, f"version resource {key} is {strings.get(key)!r}, expected {a.version!r}")
    for key in ("ProductName", "FileDescription"):
        check(strings.get(key, "").strip() != "", f"version resource {key} is not set")
    check(strings.get("OriginalFilename") == "proxytool.exe",
          f"version resource OriginalFilename is {strings.get('OriginalFilename')!r}")


def check_manifest(pe, a, check, out):
    found = resources(pe, RT_MANIFEST)
    if not check([i for i, _ in found] == [1], f"proxytool.exe manifests {[i for i, _ in found]}, expected one with id 1"):
        return
    try:
        root = ET.parse(io.BytesIO(found[0][1])).getroot()
    except ET.ParseError as e:
        check(False, f"the manifest is not XML: {e}")
        return
    nodes = list(root.iter())
    by = lambda name: [n for n in nodes if local(n.tag) == name]
    own = [n for n in root if local(n.tag) == "assemblyIdentity"]
    want_version = ".".join(([p for p in a.version.split(".")] + ["0"] * 4)[:4])
    check(own and own[0].get("version") == want_version,
          f"manifest assembly version {own[0].get('version') if own else None}, expected {want_version}")
    comctl = [n for n in by("dependentAssembly") for i in n if local(i.tag) == "assemblyIdentity"
              and i.get("name") == "Microsoft.Windows.Common-Controls" and i.get("version") == "6.0.0.0"
              and i.get("publicKeyToken", "").lower() == "6595b64144ccf1df"]
    check(len(comctl) == 1, "the manifest does not ask for Common Controls 6.0.0.0")
    levels = [n.get("level") for n in by("requestedExecutionLevel")]
    check(levels == ["asInvoker"], f"the manifest's execution level is {levels}, expected asInvoker")
    ids = {n.get("Id", "").lower() for n in by("supportedOS")}
    missing = [v for k, v in SUPPORTED_OS.items() if k not in ids]
    check(not missing, f"the manifest's supportedOS lacks {missing}")
    named = [v for k, v in SUPPORTED_OS.items() if k in ids] + sorted(ids - set(SUPPORTED_OS))
    out.append(f"manifest: assembly version {own[0].get('version') if own else None}; Common Controls 6: "
               f"{'yes' if comctl else 'no'}; execution level {levels}; supportedOS: {', '.join(named)}")


def check_release(raw, zip_name, a):
    """Checks the zip's bytes; a has version, gateway_host, listing_host. Gives the failed
    checks, the report lines and the number of checks made."""
    check, out = Checks(), []
    out.append(f"zip: {zip_name}, {len(raw)} bytes, SHA-256 {hashlib.sha256(raw).hexdigest()}")
    check(zip_name == f"proxytool-{a.version}-win32.zip",
          f"the zip is named {zip_name}, expected proxytool-{a.version}-win32.zip")
    try:
        z = zipfile.ZipFile(io.BytesIO(raw))
    except zipfile.BadZipFile as e:
        check(False, f"not a zip file: {e}")
        return check.failed, out, check.count
    files = check_zip_entries(z, check, out)
    check_sums(files, check)
    if "README.txt" in files:
        check_readme(files["README.txt"], a, check)
    if "proxytool.exe" in files:
        check_pe(files["proxytool.exe"], a, check, out)
    return check.failed, out, check.count


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("zip")
    ap.add_argument("--version", required=True)
    ap.add_argument("--gateway-host", required=True)
    ap.add_argument("--listing-host", required=True)
    a = ap.parse_args()
    with open(a.zip, "rb") as f:
        raw = f.read()
    failed, out, count = check_release(raw, os.path.basename(a.zip), a)
    print("\n".join(out))
    for what in failed:
        print("FAIL:", what)
    print(f"zip check: {count - len(failed)} of {count} checks good")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
