"""What the end-to-end tests, the packaging checks, the bench and the tools share: ending
the processes they start, waiting with a deadline, writing files whole, and a /proc/meminfo
of their own shown to a program. Python 3 standard library only.

Each caller adds this folder to sys.path and imports what it needs.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from functools import cache


class HarnessError(AssertionError):
    """A wait ran out or a tool failed; reported as a test failure."""


# --------------------------------------------------------------------------------------------
# Processes and waits


def stop(proc, grace=3.0, sig=signal.SIGTERM):
    """Ends one child we started, by its pid: sig, then KILL after a grace period."""
    if proc is None or proc.poll() is not None:
        return
    try:
        proc.send_signal(sig)
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        try:
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            pass
    except ProcessLookupError:
        pass


class Child:
    """What a wrapper of a started program (its process in self.proc) tells of it."""

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc.poll() is None


def waiter(error=HarnessError, timeout=10.0, interval=0.05):
    """A wait_for(what, probe, timeout, interval) that polls probe() until it returns
    something true and returns that; after timeout seconds it raises error."""

    def wait_for(what, probe, timeout=timeout, interval=interval):
        deadline = time.monotonic() + timeout
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() >= deadline:
                raise error(f"timed out after {timeout:g} s waiting for {what}")
            time.sleep(interval)

    return wait_for


wait_for = waiter()


# --------------------------------------------------------------------------------------------
# Files


def write_atomically(path, data):
    """Writes bytes through a temporary file beside path, so that a failed run never leaves
    half a file behind; the folder is made when missing."""
    folder = os.path.dirname(path) or "."
    os.makedirs(folder, exist_ok=True)
    fd, temp = tempfile.mkstemp(dir=folder, prefix=".tmp-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(temp, 0o644)
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


# --------------------------------------------------------------------------------------------
# /proc/meminfo texts

# Columns of MemTotal, MemFree and MemAvailable in meminfo_text, so that the text keeps its
# length whatever the figures are.
CHANGING_WIDTH = 12

# The other lines of a real /proc/meminfo, in kB (lines without a unit are counts).
_OTHER_LINES = [
    ("Buffers", 42676), ("Cached", 2191388), ("SwapCached", 0), ("Active", 374820),
    ("Inactive", 2459980), ("Active(anon)", 240), ("Inactive(anon)", 612800),
    ("Active(file)", 374580), ("Inactive(file)", 1847180), ("Unevictable", 19032),
    ("Mlocked", 15808), ("SwapTotal", 0), ("SwapFree", 0), ("Zswap", 0), ("Zswapped", 0),
    ("Dirty", 10660), ("Writeback", 0), ("AnonPages", 619732), ("Mapped", 77060),
    ("Shmem", 12204), ("KReclaimable", 152820), ("Slab", 185568), ("SReclaimable", 152820),
    ("SUnreclaim", 32748), ("KernelStack", 3036), ("PageTables", 6840), ("SecPageTables", 0),
    ("NFS_Unstable", 0), ("Bounce", 0), ("WritebackTmp", 0), ("CommitLimit", 12341836),
    ("Committed_AS", 759364), ("VmallocTotal", 34359738367), ("VmallocUsed", 15820),
    ("VmallocChunk", 0), ("Percpu", 768), ("AnonHugePages", 0), ("ShmemHugePages", 0),
    ("ShmemPmdMapped", 0), ("FileHugePages", 12288), ("FilePmdMapped", 0),
    ("HugePages_Total", None), ("HugePages_Free", None), ("HugePages_Rsvd", None),
    ("HugePages_Surp", None), ("Hugepagesize", 2048), ("Hugetlb", 0),
    ("DirectMap4k", 26624), ("DirectMap2M", 25139200),
]


def _line(name, value, width=8, unit=" kB"):
    # The kernel's layout: the name and colon in 16 columns, then the number right-aligned.
    return f"{name + ':':<16}{value:>{width}}{unit}\n"


def meminfo_text(total_kb, avail_kb, **other_kb):
    """A whole /proc/meminfo with these figures (free memory somewhat below available), its
    length the same whatever they are; other_kb sets further lines (meminfo_with)."""
    for name, kb in (("MemTotal", total_kb), ("MemAvailable", avail_kb)):
        if not isinstance(kb, int) or not 0 <= kb < 10**CHANGING_WIDTH:
            raise ValueError(f"{name} must be a whole number of kB below "
                             f"{CHANGING_WIDTH} digits, not {kb!r}")
    lines = [_line("MemTotal", total_kb, CHANGING_WIDTH),
             _line("MemFree", avail_kb * 7 // 8, CHANGING_WIDTH),
             _line("MemAvailable", avail_kb, CHANGING_WIDTH)]
    for name, value in _OTHER_LINES:
        lines.append(_line(name, 0, unit="") if value is None else _line(name, value))
    return meminfo_with("".join(lines), **other_kb)


def meminfo_with(text, **fields_kb):
    """/proc/meminfo text with the given fields set (kB), each line keeping its length so
    that a reader never sees the file change size: MemAvailable=123 → 'MemAvailable:   123 kB'."""
    out = []
    left = dict(fields_kb)
    for line in text.splitlines(keepends=True):
        m = re.match(r"^([A-Za-z_()0-9]+):(\s*)(\d+)( kB)?(\n?)$", line)
        if m and m.group(1) in left:
            value = str(left.pop(m.group(1)))
            span = len(m.group(2)) + len(m.group(3))
            if len(value) > span:
                raise ValueError(f"{m.group(1)} = {value} does not fit in {span} columns")
            line = f"{m.group(1)}:{value.rjust(span)}{m.group(4) or ''}{m.group(5)}"
        out.append(line)
    if left:
        raise ValueError(f"no such fields: {', '.join(sorted(left))}")
    return "".join(out)


def meminfo_kb(text, name):
    """One field of a /proc/meminfo text, as the number it shows."""
    m = re.search(rf"^{re.escape(name)}:\s*(\d+)", text, re.M)
    if not m:
        raise ValueError(f"{name} missing")
    return int(m.group(1))


class MemInfoFile:
    """A /proc/meminfo a program is shown. Every rewrite is one write in place at the same
    length: a program that keeps the file open and reads it again sees the old figures or
    the new ones, never an emptied file or one of another length."""

    def __init__(self, path, text):
        self.path = path
        self.size = None
        self.write(text)

    def write(self, text):
        data = text.encode("ascii")
        if self.size is not None and len(data) != self.size:
            raise ValueError(f"{self.path} holds {self.size} bytes; a rewrite of "
                             f"{len(data)} bytes would change its length")
        fd = os.open(self.path, os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            if os.pwrite(fd, data, 0) != len(data):
                raise OSError(f"short write to {self.path}")
            os.ftruncate(fd, len(data))
        finally:
            os.close(fd)
        self.size = len(data)


# --------------------------------------------------------------------------------------------
# A /proc/meminfo of a program's own

# Runs the rest of the command line with $0 bound over /proc/meminfo, seen by it alone.
_OWN_MEMINFO = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                'mount --bind "$0" /proc/meminfo && exec "$@"']


def with_meminfo(path, argv):
    """The command that runs argv with the file at path as its /proc/meminfo."""
    return _OWN_MEMINFO + [path, *argv]


@cache
def own_meminfo_problem():
    """Why programs cannot be shown a /proc/meminfo of their own here (it takes unshare and
    the right to make a mount namespace), or None when they can."""
    if shutil.which("unshare") is None:
        return "unshare is not installed"
    with tempfile.TemporaryDirectory(prefix="pelmora-meminfo-") as tmp:
        probe = MemInfoFile(os.path.join(tmp, "meminfo"), meminfo_text(1234567, 7654))
        try:
            r = subprocess.run(with_meminfo(probe.path, ["grep", "-c", "^MemTotal: *1234567 kB$",
                                                         "/proc/meminfo"]),
                               capture_output=True, text=True, timeout=20,
                               stdin=subprocess.DEVNULL)
        except (OSError, subprocess.TimeoutExpired) as e:
            return f"unshare could not be run: {e}"
    if r.returncode != 0 or r.stdout.strip() != "1":
        why = r.stderr.strip() or f"status {r.returncode}"
        return f"cannot bind a file over /proc/meminfo in a mount namespace ({why})"
    return None
