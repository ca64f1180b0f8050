#!/usr/bin/env python3
"""Puts the Windows release together from the two built Windows programs: the zip and the two
installers.

    Pelmora.exe       the 32-bit program, from the win32 build
    x64/Pelmora.exe   the 64-bit program, from the win64 build
    LICENSE           the licence
    README.txt        what the zip holds and how to use it (Windows line ends)
    SHA256SUMS        the SHA-256 of each file above, as sha256sum writes it

The zip is the same, byte for byte, every time it is made from the same programs: entries in a
fixed order, each dated at the release date. Beside it go the installers, Pelmora-VERSION-x86.msi
and Pelmora-VERSION-x64.msi, which wixl builds from the one WiX source the build filled from the
identity, each with the same program as the zip; and the scoop manifest (the zip) and the winget
manifests (the installers), whose templates the build filled, with the SHA-256 sums and the
installers' product codes put in.

Usage: release_zip.py --win32 BUILD_DIR --win64 BUILD_DIR --out DIR
(tools/make-release-zip.sh builds both programs first and runs this.)
"""

import argparse
import calendar
import hashlib
import io
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import uuid
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "support"))

from harness import write_atomically  # noqa: E402

# The machine field of a PE header.
MACHINES = {0x14C: "i386", 0x8664: "x86-64"}


class Failure(Exception):
    pass


def read(path, mode="rb"):
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError as error:
        raise Failure(f"cannot read {path}: {error.strerror}")


def pe_machine(data, path):
    """The machine a Windows program is built for, from its PE header."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise Failure(f"{path} is not a Windows program")
    (at,) = struct.unpack_from("<I", data, 0x3C)
    if data[at:at + 4] != b"PE\0\0":
        raise Failure(f"{path} has no PE header")
    (machine,) = struct.unpack_from("<H", data, at + 4)
    return MACHINES.get(machine, hex(machine))


def strip(data, tool, work, name, epoch):
    """The program without symbols and debugging sections, which a release does not need.
    The PE header's time stamp becomes epoch (strip would write the current time)."""
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(data)
    try:
        subprocess.run([tool, "--strip-all", path], check=True, capture_output=True,
                       timeout=60, env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
    except (OSError, subprocess.SubprocessError) as error:
        raise Failure(f"{tool} failed on {name}: {error}")
    return read(path)


class Build:
    """One Windows build folder and what its configure step wrote."""

    def __init__(self, folder, bits):
        self.folder, self.bits = folder, bits
        generated = os.path.join(folder, "generated")
        self.identity = json.loads(read(os.path.join(generated, "identity.json"), "r"))
        self.info = json.loads(read(os.path.join(generated, "packaging.json"), "r"))
        exe = os.path.join(folder, "src", "platform", "win32", f"{self.info['exe_name']}.exe")
        self.program = read(exe)
        expected = "i386" if bits == 32 else "x86-64"
        machine = pe_machine(self.program, exe)
        if machine != expected:
            raise Failure(f"{exe} is built for {machine}, not {expected}")
        self.windows = os.path.join(folder, "packaging", "windows")

    def template(self, *parts):
        return read(os.path.join(self.windows, *parts), "r")


def zip_bytes(entries, date):
    """A zip of (name, bytes) in the order given, every entry dated at date."""
    year, month, day = (int(v) for v in date.split("-"))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(year, month, day, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            archive.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


def fill(template, slots, name):
    """The template with each ${SLOT} replaced by its value; every slot must be there."""
    for slot, value in slots.items():
        if f"${{{slot}}}" not in template:
            raise Failure(f"the {name} template has no place for {slot}")
        template = template.replace(f"${{{slot}}}", value)
    return template


def product_code(upgrade_code, arch, version):
    """An installer's product code: one for each version and architecture, the same every time
    it is made."""
    return str(uuid.uuid5(uuid.UUID(upgrade_code), f"{arch} {version}")).upper()


def msi_files(build, program):
    """The files wixl reads for an installer of the program: the WiX source, the program, the
    licence and the icon "Apps & features" shows."""
    exe_name, source = build.info["exe_name"], build.info["source_dir"]
    return {"pelmora.wxs": read(os.path.join(build.windows, "pelmora.wxs")),
            f"{exe_name}.exe": program,
            "LICENSE.txt": read(os.path.join(source, "LICENSE")),
            f"{exe_name}.ico": read(os.path.join(source, "resources", "pelmora.ico"))}


def build_msi(files, upgrade_code, arch, version, path):
    """Builds one installer (arch x86 or x64) of the version with wixl; returns its product
    code."""
    major, minor, patch = version.split(".")
    code = product_code(upgrade_code, arch, version)
    work = tempfile.mkdtemp(prefix="pelmora-msi.")
    try:
        for name, data in files.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        result = subprocess.run(
            ["wixl", "-a", arch, "-D", f"Version={version}",
             "-D", f"NextVersion={major}.{minor}.{int(patch) + 1}", "-D", f"ProductCode={code}",
             "-o", "made.msi", "pelmora.wxs"],
            cwd=work, capture_output=True, text=True, timeout=120)
        if result.returncode != 0:
            raise Failure(f"wixl failed on the {arch} installer:\n{result.stderr}")
        write_atomically(path, read(os.path.join(work, "made.msi")))
    except (OSError, subprocess.SubprocessError) as error:
        raise Failure(f"wixl could not build the {arch} installer: {error}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return code


def make(win32_dir, win64_dir, out):
    win32, win64 = Build(win32_dir, 32), Build(win64_dir, 64)
    if (win32.identity, win32.info["version"]) != (win64.identity, win64.info["version"]):
        raise Failure("the win32 and win64 builds are of different identities: rebuild both")
    info = win32.info
    exe = f"{info['exe_name']}.exe"

    # Everything in the zip is dated at the release date, so the same programs make the same zip.
    epoch = calendar.timegm(time.strptime(info["release_date"], "%Y-%m-%d"))
    work = tempfile.mkdtemp(prefix="pelmora-zip.")
    try:
        programs = {exe: strip(win32.program, "i686-w64-mingw32-strip", work, "32.exe", epoch),
                    f"x64/{exe}": strip(win64.program, "x86_64-w64-mingw32-strip", work,
                                        "64.exe", epoch)}
    finally:
        shutil.rmtree(work, ignore_errors=True)
    files = [*programs.items(),
             ("LICENSE", read(os.path.join(info["source_dir"], "LICENSE"))),
             ("README.txt", read(os.path.join(win32.windows, "README.txt")))]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()} *{name}\n" for name, data in files)
    files.append(("SHA256SUMS", sums.encode()))

    archive = zip_bytes(files, info["release_date"])
    digest = hashlib.sha256(archive).hexdigest()
    zip_path = os.path.join(out, info["zip_name"])
    write_atomically(zip_path, archive)
    made = [zip_path]

    # The installers hold the same programs as the zip.
    slots = {}
    for arch, build, name in (("x86", win32, exe), ("x64", win64, f"x64/{exe}")):
        path = os.path.join(out, info["msi_names"][arch])
        code = build_msi(msi_files(build, programs[name]), info["msi_upgrade_code"], arch,
                         info["version"], path)
        slots[f"MSI_{arch.upper()}_SHA256"] = hashlib.sha256(read(path)).hexdigest().upper()
        slots[f"MSI_{arch.upper()}_PRODUCT_CODE"] = f"{{{code}}}"
        made.append(path)

    scoop = fill(win32.template("scoop", "pelmora.json"), {"ZIP_SHA256": digest}, "scoop")
    json.loads(scoop)  # what scoop reads must stay JSON
    write_atomically(os.path.join(out, "scoop", "pelmora.json"), scoop.encode())
    winget = os.path.join(win32.windows, "winget")
    for name in sorted(os.listdir(winget)):
        text = read(os.path.join(winget, name), "r")
        if name.endswith(".installer.yaml"):
            text = fill(text, slots, "winget installer")
        write_atomically(os.path.join(out, "winget", name), text.encode())
    print("\n".join(made))


def main(argv):
    parser = argparse.ArgumentParser(description="Put the Windows release together.")
    parser.add_argument("--win32", required=True, help="the win32 preset's build folder")
    parser.add_argument("--win64", required=True, help="the win64 preset's build folder")
    parser.add_argument("--out", required=True,
                        help="folder for the zip, the installers and the manifests")
    args = parser.parse_args(argv)
    try:
        make(args.win32, args.win64, args.out)
    except (Failure, OSError, ValueError) as error:
        print(f"release_zip: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
