"""The memory figures the program is shown and those it should show for them.

A test chooses the figures: the program reads a /proc/meminfo the test writes (see
desktop.py for how it is put in place), so nothing here depends on the machine's memory.
Byte counts are scaled by the program's rules: the KB count rounds half to even; up to
1024 KB the figure is shown in KB; up to 1,048,576 KB in MB, one more than the rounded
megabyte count; above that in GB, rounded from the rounded megabytes.
"""

import os
import sys
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import harness  # noqa: E402
from harness import CHANGING_WIDTH, meminfo_kb, meminfo_text  # noqa: E402,F401

# The figures every program starts on unless its test chooses others: 11-digit byte counts
# with repeated digits (25,324,920,832 and 22,222,222,336 bytes).
DEFAULT_TOTAL_KB = 24731368
DEFAULT_AVAIL_KB = 21701389


def meminfo_bytes(text):
    """(total, available) in bytes as a /proc/meminfo text gives them."""
    return meminfo_kb(text, "MemTotal") * 1024, meminfo_kb(text, "MemAvailable") * 1024


class MemInfoFile(harness.MemInfoFile):
    """The /proc/meminfo a program is shown, with the figures last set: the program keeps
    the file open and reads it again once its figures are a quarter of a second old."""

    def __init__(self, path, total_kb=DEFAULT_TOTAL_KB, avail_kb=DEFAULT_AVAIL_KB):
        super().__init__(path, meminfo_text(total_kb, avail_kb))
        self.total_kb, self.avail_kb = total_kb, avail_kb

    def set(self, total_kb=None, avail_kb=None):
        total_kb = self.total_kb if total_kb is None else total_kb
        avail_kb = self.avail_kb if avail_kb is None else avail_kb
        self.write(meminfo_text(total_kb, avail_kb))
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
