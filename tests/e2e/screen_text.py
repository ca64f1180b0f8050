"""Reads the numbers of the main window's captions back from a screenshot.

The captions are white text over a board without white of its own. Words are runs of
columns with white pixels separated by wider gaps. Within a number the digits share one
fractional advance, but each glyph is drawn at a whole pixel, so a number is a row of cells
whose widths differ by a pixel and whose digits may touch. The digit shapes are learnt
from a caption whose number the test knows exactly (a byte count the test chose) and then
used to read other numbers; a digit never learnt reads as '?'. At a display scale every
length is that many screen pixels.
"""

from functools import cache

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
        self._shapes = {}

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
        if (x0, x1) not in self._shapes:
            self._shapes[x0, x1] = frozenset((x - x0, y) for y, r in enumerate(self.rows)
                                             for x in range(max(x0, 0), min(x1, len(r))) if r[x])
        return self._shapes[x0, x1]


# Advances are tried in 64ths of a pixel (the precision of font metrics); where the first
# pen falls inside its pixel, in sixteenths.
ADVANCE_STEPS = 64
PHASES = 16


@cache
def _distance(a, b, shift=1):
    """Pixels that differ between two glyph shapes, allowing a shift of a few columns (one
    window pixel): a cell cut a column off still matches its digit."""
    best = len(a) + len(b)
    for dx in range(-shift, shift + 1):
        moved = {(x + dx, y) for x, y in b}
        best = min(best, len(a ^ moved))
    return best


def _same(a, b, shift=1):
    return _distance(a, b, shift) <= max(4, 0.2 * max(len(a), len(b)))


def _pens(origin, phase, advance, count):
    """Where each digit's cell starts (and the last one ends): the text is laid out with a
    fractional advance from a pen that may start inside a pixel, and each glyph is drawn at
    the whole pixel its pen falls in."""
    return [origin + int(phase + i * advance) for i in range(count + 1)]


def _cut(row, pens):
    """Rows inked on both sides of each cell boundary: a boundary through a glyph's stroke
    rather than between two glyphs."""
    return sum(1 for x in pens[1:-1] if 0 < x < len(row.inked)
               for r in row.rows if r[x - 1] and r[x])


class Digits:
    """Digit shapes and how digits are laid out (a common fractional advance, and where
    inside a pixel the first pen falls), learnt from a number whose digits are known.

    A digit is drawn the same wherever it stands, but glyphs sit at whole pixels while the
    pen moves in fractions of one, so the gaps between digits vary by a pixel and adjacent
    digits may touch. The layout that makes every repeated digit come out the same is the
    one the digits were drawn with."""

    def __init__(self, row, word_index, number):
        self.shift = row.scale
        words = row.words()
        if len(words) <= word_index:
            raise HarnessError(f"no word {word_index} to learn {number} from: {words}")
        start, end = words[word_index]
        fits = []
        for lead in (0, 1):  # blank columns between the first pen and the first ink
            for step in range(5 * ADVANCE_STEPS * row.scale, 10 * ADVANCE_STEPS * row.scale):
                advance = step / ADVANCE_STEPS
                for k in range(PHASES):
                    pens = _pens(start - lead, k / PHASES, advance, len(number))
                    if not pens[-2] < end <= pens[-1] + 1:
                        continue
                    fit = self._fit(row, pens, number)
                    if fit is not None:
                        mismatch, shapes = fit
                        fits.append(((mismatch, _cut(row, pens), lead),
                                     start - lead, k / PHASES, advance, shapes))
        if not fits:
            raise HarnessError(f"cannot split the word at {start}..{end} into the digits "
                               f"{number}")
        _, self.origin, self.phase, self.advance, self.shapes = min(fits, key=lambda f: f[0])

    def cells(self, origin, count, phase=None):
        """(first column, end column) of count digits from the pen position origin on."""
        pens = _pens(origin, self.phase if phase is None else phase, self.advance, count)
        return list(zip(pens, pens[1:]))

    def _fit(self, row, pens, number):
        """(mismatch, shapes) when the digits fit these cells, else None: each repeated
        digit must look like its first showing, and different digits must differ."""
        seen, mismatch = {}, 0
        for a, b, d in zip(pens, pens[1:], number):
            shape = row.shape(a, b)
            if not shape:
                return None
            if d in seen:
                if not _same(seen[d], shape, self.shift):
                    return None
                mismatch += _distance(seen[d], shape, 0)
            else:
                seen[d] = shape
        distinct = list(seen.values())
        for i, s in enumerate(distinct):
            if any(_distance(s, t, self.shift) == 0 for t in distinct[i + 1:]):
                return None
        return mismatch, seen

    def _nearest(self, shape):
        """(digit, pixels that differ) for the learnt digit a shape is, or ('?', None) when
        it is none of them or as near to two of them."""
        ranked = sorted((_distance(s, shape, self.shift), d) for d, s in self.shapes.items())
        if not shape or not ranked:
            return "?", None
        best, digit = ranked[0]
        close = max(4, 0.2 * max(len(shape), len(self.shapes[digit])))
        if best > close or (len(ranked) > 1 and ranked[1][0] == best):
            return "?", None
        return digit, best

    def name(self, shape):
        """The learnt digit a shape is, or '?' when it is none of them."""
        return self._nearest(shape)[0]

    def read(self, row, origin, count, phase=None):
        """count digits from the pen position origin on."""
        return "".join(self.name(row.shape(a, b)) for a, b in self.cells(origin, count, phase))

    def read_word(self, row, word_index):
        """Reads the number that makes up a word, laid out from the pen position near its
        first ink that explains the most digits the best."""
        start, end = row.words()[word_index]
        tries = []
        for lead in (0, 1):
            for k in range(PHASES):
                origin, phase = start - lead, k / PHASES
                count = 1
                while self.cells(origin, count, phase)[-1][1] < end:
                    count += 1
                named = [self._nearest(row.shape(a, b))
                         for a, b in self.cells(origin, count, phase)]
                text = "".join(d for d, _ in named)
                unknown = text.count("?")
                differ = sum(n for _, n in named if n is not None)
                tries.append((unknown, differ, lead, k, text))
        return min(tries)[-1]

    def agrees(self, read, number):
        """Whether read digits can be number: learnt digits match. A digit never learnt
        reads as '?', or as a learnt one it looks like (0 as 8), so it proves nothing."""
        if len(read) != len(number):
            return False
        return all(r == d for r, d in zip(read, number) if d in self.shapes)
