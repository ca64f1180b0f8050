"""What the packaging checks share: the build's own record of the identity, the files an install
holds, a private X display, and commands with deadlines. Python 3 standard library only."""

import glob
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO_ROOT = os.path.dirname(os.path.dirname(HERE))

sys.path.insert(0, os.path.join(REPO_ROOT, "tests", "support"))

from harness import HarnessError, stop, waiter  # noqa: E402,F401

wait_for = waiter(timeout=20.0, interval=0.1)


def build_dir():
    path = os.environ.get("PELMORA_BUILD_DIR")
    if not path or not os.path.isfile(os.path.join(path, "CMakeCache.txt")):
        raise HarnessError("PELMORA_BUILD_DIR must name a configured build folder")
    return path


def generated(name):
    with open(os.path.join(build_dir(), "generated", name), encoding="utf-8") as f:
        return json.load(f)


def packaging_info():
    """The names and version the build filled the packaging files from."""
    return generated("packaging.json")


def identity_version():
    """The version as major.minor.revision, from the identity's own record."""
    major, minor, _, revision = generated("identity.json")["version"]
    return f"{major}.{minor}.{revision}"


def run(command, timeout=120, check=True, **kwargs):
    """Runs a command, capturing its output as text; fails with that output when asked."""
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    try:
        result = subprocess.run(command, timeout=timeout, **kwargs)
    except subprocess.TimeoutExpired:
        raise HarnessError(f"{command[0]} did not finish within {timeout} s")
    if check and result.returncode != 0:
        raise HarnessError(f"{' '.join(command)} failed ({result.returncode}):\n"
                           f"{result.stdout}{result.stderr}")
    return result


def packaged(ending):
    """The one package (.deb or .rpm) that make_package.py made in PELMORA_PACKAGE_DIR."""
    folder = os.environ.get("PELMORA_PACKAGE_DIR", "")
    made = glob.glob(os.path.join(folder, f"*.{ending}"))
    if len(made) != 1:
        raise HarnessError(f"expected one .{ending} in PELMORA_PACKAGE_DIR ({folder}), "
                           f"found {made}")
    return made[0]


def installed_files(info):
    """Every file an install holds, relative to the install prefix."""
    app_id, exe, package = info["app_id"], info["linux_exe"], info["package"]
    files = {
        f"bin/{exe}",
        f"share/applications/{app_id}.desktop",
        f"share/metainfo/{app_id}.metainfo.xml",
        f"share/{package}/autostart/{app_id}.desktop",
        f"share/man/man1/{exe}.1.gz",
        f"share/doc/{package}/copyright",
        f"share/doc/{package}/changelog.gz",
    }
    files |= {f"share/icons/hicolor/{s}x{s}/apps/{app_id}.png" for s in info["icon_sizes"]}
    return files


def files_under(root):
    return {os.path.relpath(os.path.join(folder, name), root)
            for folder, _, names in os.walk(root) for name in names}


def read_desktop_entry(path):
    """The [Desktop Entry] group as a dict; comments and other groups are left out."""
    entry, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]":
                key, _, value = line.partition("=")
                entry[key] = value
    return entry


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise HarnessError(f"{path} is not a PNG")
    return struct.unpack(">II", head[16:24])


class XDisplay:
    """An Xvfb of its own (the server picks the display), with a fresh HOME and
    XDG_RUNTIME_DIR; what it starts is stopped by pid when it closes."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="pelmora-pkg.")
        self.children = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"], pass_fds=[write_fd], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            display = pipe.readline().strip()
        if not display:
            stop(self.xvfb)
            raise HarnessError("Xvfb did not start")
        home, runtime = os.path.join(self.work, "home"), os.path.join(self.work, "runtime")
        os.mkdir(home)
        os.mkdir(runtime, 0o700)
        self.env = dict(os.environ, DISPLAY=f":{display}", HOME=home, XDG_RUNTIME_DIR=runtime)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)

    def start(self, command, log_name):
        log = open(os.path.join(self.work, log_name), "wb")
        process = subprocess.Popen(command, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, cwd=self.env["HOME"])
        log.close()
        process.log_path = log.name
        self.children.append(process)
        return process

    def log(self, process):
        with open(process.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def x(self, *command):
        return run(list(command), timeout=30, check=False, env=self.env).stdout

    def window_of(self, process, size):
        """The id of a viewable window of the process with the given size, if there is one."""
        for wid in self.x("xdotool", "search", "--onlyvisible", "--pid",
                          str(process.pid)).split():
            info = self.x("xwininfo", "-id", wid)
            width = re.search(r"Width: (\d+)", info)
            height = re.search(r"Height: (\d+)", info)
            if (width and height and (int(width[1]), int(height[1])) == size
                    and "IsViewable" in info):
                return wid
        return None

    def wm_class(self, wid):
        """WM_CLASS as (instance, class)."""
        found = re.findall(r'"([^"]*)"', self.x("xprop", "-id", wid, "WM_CLASS"))
        return tuple(found)

    def close(self):
        for process in reversed(self.children):
            stop(process)
        stop(self.xvfb)
        run(["rm", "-rf", self.work], check=False)


def require_tools(*tools):
    """Fails with a clear message when a tool the check needs is not installed."""
    missing = [t for t in tools if run(["sh", "-c", 'command -v "$0"', t],
                                       check=False).returncode]
    if missing:
        raise HarnessError(f"not installed: {', '.join(missing)} "
                           "(tools/install-deps.sh installs them)")
