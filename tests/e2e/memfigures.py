"""The memory figures the program is shown and those it should show for them.

A test chooses the figures: the program reads a /proc/meminfo the test writes (see
desktop.py for how it is put in place), so nothing here depends on the machine's memory.
Byte counts are scaled by the program's rules: the KB count rounds half to even; up to
1024 KB the figure is shown in KB; up to 1,048,576 KB in MB, one more than the rounded
megabyte count; above that in GB, rounded from the rounded megabytes.
"""

import os
from fractions import Fraction

# The figures every program starts on unless its test chooses others: 11-digit byte counts
# with repeated digits (25,324,920,832 and 22,222,222,336 bytes).
DEFAULT_TOTAL_KB = 24731368
DEFAULT_AVAIL_KB = 21701389

# Columns of the numbers the tests change, so that the file keeps its length whatever they
# are and the program never reads a file caught half rewritten at another length.
CHANGING_WIDTH = 12

# The other lines of a real /proc/meminfo, in kB (lines without a unit are counts). Their
# values never change; the program only needs MemTotal and MemAvailable.
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


def meminfo_text(total_kb, avail_kb):
    """/proc/meminfo text with these figures; its length does not depend on them."""
    for name, kb in (("MemTotal", total_kb), ("MemAvailable", avail_kb)):
        if not isinstance(kb, int) or not 0 <= kb < 10**CHANGING_WIDTH:
            raise ValueError(f"{name} must be a whole number of kB below "
                             f"{CHANGING_WIDTH} digits, not {kb!r}")
    free_kb = avail_kb * 7 // 8  # free is always somewhat below available
    lines = [_line("MemTotal", total_kb, CHANGING_WIDTH),
             _line("MemFree", free_kb, CHANGING_WIDTH),
             _line("MemAvailable", avail_kb, CHANGING_WIDTH)]
    for name, value in _OTHER_LINES:
        lines.append(_line(name, 0, unit="") if value is None else _line(name, value))
    return "".join(lines)


def meminfo_bytes(text):
    """(total, available) in bytes as a /proc/meminfo text gives them."""
    fields = {}
    for line in text.splitlines():
        name, _, rest = line.partition(":")
        parts = rest.split()
        if parts:
            fields[name] = int(parts[0]) * (1024 if parts[1:] == ["kB"] else 1)
    return fields["MemTotal"], fields["MemAvailable"]


class MemInfoFile:
    """The /proc/meminfo a program is shown. Changes rewrite the file in place at the same
    length: the program keeps the file open and reads it again once its figures are a
    quarter of a second old."""

    def __init__(self, path, total_kb=DEFAULT_TOTAL_KB, avail_kb=DEFAULT_AVAIL_KB):
        self.path = path
        self.total_kb = self.avail_kb = None
        self.set(total_kb, avail_kb)

    def set(self, total_kb=None, avail_kb=None):
        total_kb = self.total_kb if total_kb is None else total_kb
        avail_kb = self.avail_kb if avail_kb is None else avail_kb
        data = meminfo_text(total_kb, avail_kb).encode("ascii")
        fd = os.open(self.path, os.O_WRONLY | os.O_CREAT, 0o644)
        try:
            # One write from the start: never emptied, so a read sees old or new figures.
            if os.pwrite(fd, data, 0) != len(data):
                raise OSError(f"short write to {self.path}")
            os.ftruncate(fd, len(data))
        finally:
            os.close(fd)
        self.total_kb, self.avail_kb = total_kb, avail_kb

    @property
    def total(self):
        """MemTotal in bytes."""
        return self.total_kb * 1024

    @property
    def avail(self):
        """MemAvailable in bytes."""
        return self.avail_kb * 1024


def _round(q):
    # round() on a Fraction is exact and sends halves to the even neighbour.
    return round(Fraction(q))


def scale(byte_count):
    """(number shown, unit text) for a byte count."""
    k = _round(Fraction(byte_count, 1024))
    if k <= 1024:
        return k, " KB"
    m = _round(Fraction(k, 1024))
    if k <= 1048576:
        return m + 1, " MB"
    return _round(Fraction(m, 1024)), " GB"


def caption(prefix, byte_count):
    number, unit = scale(byte_count)
    return f"{prefix}{number}{unit}"


def tip_for(avail_bytes):
    return "Pelmora  ( " + caption("Free RAM = ", avail_bytes) + " )"
