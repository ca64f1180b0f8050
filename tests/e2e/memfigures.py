"""The memory figures the program should show, computed independently of it.

Reads /proc/meminfo itself and scales byte counts by the program's rules: the KB count
rounds half to even; up to 1024 KB the figure is shown in KB; up to 1,048,576 KB in MB, one
more than the rounded megabyte count; above that in GB, rounded from the rounded megabytes.
"""

from fractions import Fraction


def meminfo_bytes(path="/proc/meminfo"):
    """(total, available) physical memory in bytes."""
    fields = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            name, _, rest = line.partition(":")
            parts = rest.split()
            if parts:
                fields[name] = int(parts[0]) * (1024 if parts[1:] == ["kB"] else 1)
    return fields["MemTotal"], fields["MemAvailable"]


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
