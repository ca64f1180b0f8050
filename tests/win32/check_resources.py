#!/usr/bin/python3
"""Reads the version record, the icon, the pictures, the manifest and the import
table back from a built Pelmora.exe and checks them value by value.

Usage: check_resources.py PATH_TO_EXE 32|64
"""
import struct
import sys

import pefile

RT_ICON, RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 14, 16, 24

# DLLs every Windows has; the program may import from nothing else.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll",
    "msvcrt.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "ws2_32.dll",
}

EXPECTED_STRINGS = [
    ("FileDescription", "System Information"),
    ("ProductName", "Tovquel.Exe"),
    ("FileVersion", "1.00.0026"),
    ("ProductVersion", "1.00.0026"),
    ("InternalName", "Pelmora"),
    ("OriginalFilename", "Pelmora.exe"),
]

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


def check_version(pe, found):
    lang, _ = one(found, RT_VERSION, 1)
    check("version record language", lang, 0x0C0A)
    fixed = pe.VS_FIXEDFILEINFO[0]
    for field, expected in [
        ("FileVersionMS", 0x00010000), ("FileVersionLS", 0x0000001A),
        ("ProductVersionMS", 0x00010000), ("ProductVersionLS", 0x0000001A),
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
    check("string tables", [t.LangID for t in tables], [b"0C0A04B0"])
    if tables:
        strings = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
        check("strings in order", strings, EXPECTED_STRINGS)
    check("Translation", translations, ["0x0c0a 0x04b0"])


def check_icon(found):
    _, group = one(found, RT_GROUP_ICON, 1)
    if len(group) < 6:
        failures.append("icon group 1 is too short")
        return
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check("icon group header", (reserved, kind, count), (0, 1, 1))
    if len(group) < 20:
        failures.append("icon group 1 has no entry")
        return
    width, height, colours, _, planes, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6)
    check("icon group entry", (width, height, colours, planes, bits, size, ident),
          (32, 32, 16, 1, 4, 744, 30001))
    _, image = one(found, RT_ICON, 30001)
    check("icon image size", len(image), 744)
    if len(image) >= 40:
        _, w, h, planes, bits = struct.unpack_from("<IiiHH", image)
        check("icon image header (width, double height, planes, bits)", (w, h, planes, bits),
              (32, 64, 1, 4))
    icons = [k for k in found if k[0] == RT_ICON]
    check("icon images in the file", [k[1] for k in icons], [30001])


def check_pictures(found):
    for ident, name, size in [(101, "skin", (208, 51)), (102, "scale", (10, 48))]:
        _, data = one(found, RT_BITMAP, ident)
        if len(data) >= 12:
            _, w, h = struct.unpack_from("<Iii", data)
            check(f"{name} picture size", (w, abs(h)), size)


def check_manifest(found):
    _, data = one(found, RT_MANIFEST, 1)
    text = data.decode("utf-8", "replace")
    for needle in ["Microsoft.Windows.Common-Controls", 'version="6.0.0.0"', "supportedOS",
                   "<dpiAware", "<dpiAwareness"]:
        if needle not in text:
            failures.append(f"manifest lacks {needle}")


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


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("32", "64"):
        print(__doc__)
        return 2
    pe = pefile.PE(sys.argv[1])
    found = resources(pe)
    check_version(pe, found)
    check_icon(found)
    check_pictures(found)
    check_manifest(found)
    check_imports(pe, int(sys.argv[2]))
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{sys.argv[1]}: version record, icon, pictures, manifest and imports as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
