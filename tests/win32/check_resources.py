#!/usr/bin/python3
"""Reads the version record, the icon, the pictures, the manifest and the import
table back from a built Pelmora.exe and checks them value by value against the
program's identity as the build generated it.

Usage: check_resources.py PATH_TO_EXE 32|64 IDENTITY_JSON
"""
import json
import os
import re
import struct
import sys

import pefile

RT_ICON, RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 14, 16, 24

# DLLs every Windows has; the program may import from nothing else.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
    "msvcrt.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "ws2_32.dll",
}

# Calls only Windows 7, 8.1 and 10 have: for screens of different DPIs, for messages from a
# process of lower integrity.
NEWER_CALLS = {
    "GetDpiForWindow", "AdjustWindowRectExForDpi", "GetSystemMetricsForDpi", "GetDpiForMonitor",
    "SetProcessDpiAwarenessContext", "GetDpiForSystem", "EnableNonClientDpiScaling",
    "ChangeWindowMessageFilterEx",
}

failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(f"{what}: expected {expected!r}, found {actual!r}")


def resources(pe):
    """(type, id, language) -> bytes for every resource of the file."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found[(kind.id, name.id, lang.id)] = data
    return found


def one(found, kind, ident):
    matches = [(k[2], v) for k, v in found.items() if k[0] == kind and k[1] == ident]
    if len(matches) != 1:
        failures.append(f"resource type {kind} id {ident}: expected one, found {len(matches)}")
        return None, b""
    return matches[0]


def check_version(pe, found, identity):
    lang, _ = one(found, RT_VERSION, 1)
    check("version record language", lang, int(identity["language"], 16))
    fixed = pe.VS_FIXEDFILEINFO[0]
    major, minor, build, revision = identity["version"]
    most, least = (major << 16) | minor, (build << 16) | revision
    for field, expected in [
        ("FileVersionMS", most), ("FileVersionLS", least),
        ("ProductVersionMS", most), ("ProductVersionLS", least),
        ("FileFlagsMask", 0), ("FileFlags", 0), ("FileOS", 0x4),
        ("FileType", 1), ("FileSubtype", 0),
    ]:
        check(f"fixed {field}", getattr(fixed, field), expected)
    tables = []
    translations = []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            tables.extend(info.StringTable)
        elif info.Key == b"VarFileInfo":
            translations.extend(var.entry.get(b"Translation") for var in info.Var)
    table = (identity["language"] + identity["codepage"]).upper().encode()
    check("string tables", [t.LangID for t in tables], [table])
    if tables:
        strings = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
        check("strings in order", strings, [tuple(pair) for pair in identity["strings"]])
    check("Translation", translations,
          [f"0x{identity['language'].lower()} 0x{identity['codepage'].lower()}"])


def check_icon(found, identity):
    group_id, image_id = identity["icon_group"], identity["icon_image"]
    _, group = one(found, RT_GROUP_ICON, group_id)
    if len(group) < 6:
        failures.append(f"icon group {group_id} is too short")
        return
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check("icon group header", (reserved, kind, count), (0, 1, 1))
    if len(group) < 20:
        failures.append(f"icon group {group_id} has no entry")
        return
    width, height, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
    check("icon group entry", (width, height, colours, planes, bits, size, ident),
          (32, 32, 16, 1, 4, 744, image_id))
    _, image = one(found, RT_ICON, image_id)
    check("icon image size", len(image), 744)
    if len(image) >= 40:
        _, w, h, planes, bits = struct.unpack_from("<IiiHH", image)
        check("icon image header (width, double height, planes, bits)", (w, h, planes, bits),
              (32, 64, 1, 4))
    icons = [k for k in found if k[0] == RT_ICON]
    check("icon images in the file", [k[1] for k in icons], [image_id])


def check_pictures(found):
    for ident, name, size in [(101, "skin", (208, 51)), (102, "scale", (10, 48))]:
        _, data = one(found, RT_BITMAP, ident)
        if len(data) >= 12:
            _, w, h = struct.unpack_from("<Iii", data)
            check(f"{name} picture size", (w, abs(h)), size)


def check_manifest(found, identity):
    _, data = one(found, RT_MANIFEST, 1)
    text = data.decode("utf-8", "replace")
    for needle in ["Microsoft.Windows.Common-Controls", 'version="6.0.0.0"', "supportedOS"]:
        if needle not in text:
            failures.append(f"manifest lacks {needle}")
    # Per monitor (v2) where the system knows it, then per monitor, then the session's DPI.
    aware = re.search(r"<dpiAware\b[^>]*>([^<]*)</dpiAware>", text)
    check("manifest's dpiAware", aware and aware[1].strip().lower(), "true/pm")
    awareness = re.search(r"<dpiAwareness\b[^>]*>([^<]*)</dpiAwareness>", text)
    check("manifest's dpiAwareness",
          awareness and [part.strip().lower() for part in awareness[1].split(",")],
          ["permonitorv2", "permonitor"])
    # The manifest is written by hand: its own identity must follow the program's.
    own = re.search(r'<assemblyIdentity type="win32" name="([^"]*)" version="([^"]*)"', text)
    check("manifest's name and version", own and own.groups(),
          (identity["exe_name"], ".".join(str(part) for part in identity["version"])))


def check_imports(pe, bits):
    machine = {32: pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
               64: pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}[bits]
    check("machine", pe.FILE_HEADER.Machine, machine)
    check("subsystem (windows GUI)", pe.OPTIONAL_HEADER.Subsystem, 2)
    dlls = sorted(entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    foreign = [dll for dll in dlls if dll not in SYSTEM_DLLS]
    check("imports from outside the system", foreign, [])
    for needed in ["kernel32.dll", "user32.dll", "shell32.dll", "gdi32.dll"]:
        if needed not in dlls:
            failures.append(f"imports lack {needed}")
    # The calls of newer systems are looked up when the program runs: one imported by name
    # would keep the program from starting on the systems that lack it.
    names = {imp.name.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT for imp in entry.imports
             if imp.name}
    newer = sorted(names & NEWER_CALLS)
    check("imports of calls older systems lack", newer, [])


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ("32", "64"):
        print(__doc__)
        return 2
    with open(sys.argv[3], encoding="utf-8") as f:
        identity = json.load(f)
    check("file name", os.path.basename(sys.argv[1]), identity["exe_name"] + ".exe")
    pe = pefile.PE(sys.argv[1])
    found = resources(pe)
    check_version(pe, found, identity)
    check_icon(found, identity)
    check_pictures(found)
    check_manifest(found, identity)
    check_imports(pe, int(sys.argv[2]))
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{sys.argv[1]}: version record, icon, pictures, manifest and imports as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
