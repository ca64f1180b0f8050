"""Reads the numbers of the main window's captions back from a screenshot.

The captions are white text over a board without white of its own. Words are runs of
columns with white pixels separated by wider gaps; within a number the digits share one
advance, so a number is a row of equal cells. The digit shapes are learnt from a caption
whose number the test knows exactly (the total in bytes, constant while the machine runs)
and then used to read other numbers; a digit never learnt reads as '?'. At a display scale
every length is that many screen pixels.
"""

from desktop import HarnessError

TEXT_X0, TEXT_X1 = 7, 195  # the labels' columns left of the meter box
WORD_GAP = 4  # blank columns that separate two words (a space is wider than any letter gap)


def _white(p):
    return p[0] >= 250 and p[1] >= 250 and p[2] >= 250


class Row:
    """The white ink of one caption: rows y0..y1-1, columns left of the meter (in window
    pixels; scale screen pixels to each)."""

    def __init__(self, img, y0, y1, scale=1):
        self.scale = scale
        x0, x1 = TEXT_X0 * scale, TEXT_X1 * scale
        self.rows = [[_white(img.pixel(x, y)) for x in range(x0, x1)]
                     for y in range(y0 * scale, y1 * scale)]
        self.inked = [any(r[i] for r in self.rows) for i in range(x1 - x0)]

    def words(self):
        """(first column, end column) of each word, left to right."""
        gap = WORD_GAP * self.scale
        found, start, blank = [], None, 0
        for i, ink in enumerate(self.inked + [False] * gap):
            if ink:
                if start is None:
                    start = i
                blank, end = 0, i + 1
            elif start is not None:
                blank += 1
                if blank >= gap:
                    found.append((start, end))
                    start = None
        return found

    def shape(self, x0, x1):
        """The ink between columns x0 and x1 as a set of (column - x0, row) points."""
        return frozenset((x - x0, y) for y, r in enumerate(self.rows)
                         for x in range(max(x0, 0), min(x1, len(r))) if r[x])


def _distance(a, b, shift=1):
    """Pixels that differ between two glyph shapes, allowing a shift of a few columns (one
    window pixel): the same digit comes out a little different at different sub-pixel
    positions."""
    best = len(a) + len(b)
    for dx in range(-shift, shift + 1):
        moved = {(x + dx, y) for x, y in b}
        best = min(best, len(a ^ moved))
    return best


def _same(a, b, shift=1):
    return _distance(a, b, shift) <= max(4, 0.2 * max(len(a), len(b)))


class Digits:
    """Digit shapes and their common (possibly fractional) advance, learnt from a number
    whose digits are known. Digit i of a number starts at origin + round(i * advance)."""

    def __init__(self, row, word_index, number):
        self.shift = row.scale
        words = row.words()
        if len(words) <= word_index:
            raise HarnessError(f"no word {word_index} to learn {number} from: {words}")
        start, end = words[word_index]
        fits = []
        for shift in (0, 1):
            for step in range(5 * 16 * row.scale, 10 * 16 * row.scale):
                fit = self._fit(row, start - shift, step / 16, number, end)
                if fit is not None:
                    fits.append((fit[0], shift, step / 16, fit[1]))
        if not fits:
            raise HarnessError(f"cannot split the word at {start}..{end} into the digits "
                               f"{number}")
        _, shift, self.advance, self.shapes = min(fits, key=lambda f: f[0])
        self.origin = start - shift

    def cells(self, origin, count, advance=None):
        advance = advance or self.advance
        pens = [origin + int(i * advance + 0.5) for i in range(count + 1)]
        return list(zip(pens, pens[1:]))

    def _fit(self, row, origin, advance, number, end):
        """(mismatch, shapes) when the digits fit cells of this advance, else None."""
        cells = self.cells(origin, len(number), advance)
        if not cells[-1][0] < end <= cells[-1][1] + 1:
            return None
        seen, mismatch = {}, 0
        for (a, b), d in zip(cells, number):
            shape = row.shape(a, b)
            if not shape:
                return None
            if d in seen:
                if not _same(seen[d], shape, self.shift):
                    return None
                mismatch += _distance(seen[d], shape, self.shift)
            else:
                seen[d] = shape
        distinct = list(seen.items())
        for i, (d, s) in enumerate(distinct):
            if any(_same(s, t, self.shift) for _, t in distinct[i + 1:]):
                return None
        return mismatch, seen

    def name(self, shape):
        """The learnt digit a shape is, or '?' when it is none of them."""
        matches = [d for d, s in self.shapes.items() if _same(s, shape, self.shift)]
        return matches[0] if len(matches) == 1 else "?"

    def read(self, row, origin, count):
        """count digits from the pen position origin on."""
        return "".join(self.name(row.shape(a, b)) for a, b in self.cells(origin, count))

    def read_word(self, row, word_index):
        """Reads the number that makes up a word, from the pen position near its first ink
        that explains the most digits."""
        start, end = row.words()[word_index]
        tries = []
        for order, shift in enumerate((0, 1)):
            origin = start - shift
            count = 1
            while self.cells(origin, count)[-1][1] < end:
                count += 1
            text = self.read(row, origin, count)
            tries.append((text.count("?"), order, text))
        return min(tries)[2]

    def agrees(self, read, number):
        """Whether read digits can be number: learnt digits match. A digit never learnt
        reads as '?', or as a learnt one it looks like (0 as 8), so it proves nothing."""
        if len(read) != len(number):
            return False
        return all(r == d for r, d in zip(read, number) if d in self.shapes)
