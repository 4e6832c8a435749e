"""How far apart the ninja's poses are in frames of the demo, whatever small sway moves it.

    pose.py <x> <y> <w> <h> <reference picture>... [-- <picture>...]

Each picture's region, sampled every other pixel each way, is reduced to the ninja's
silhouette: the dark blue-black costume.  The distance of two silhouettes is the number of
samples in which they differ when the second is moved by the shift (up to SHIFT_X samples
sideways and SHIFT_Y up or down) that makes them agree best, so a body that only sways or
steps aside stays close, while limbs raised, thrown out or swung make it far.

Without "--": prints the spread of the references, the largest distance from one of them to
the nearest other one.  With pictures after "--": prints the distance from the one farthest
from all references to its nearest reference.  References taken densely over a whole loop of
a clip give a small spread, and a picture of another clip stands far from all of them.
"""
import sys

from frames import region

SHIFT_X, SHIFT_Y = 6, 3


def silhouette(path, x, y, w, h):
    pixels, w, h = region(path, x, y, w, h)
    rows = []
    for row in range(h):
        bits = 0
        base = row * w * 3
        for col in range(w):
            r, g, b = pixels[base + 3 * col:base + 3 * col + 3]
            if r < 110 and b >= r + 5:
                bits |= 1 << col
        rows.append(bits)
    return rows, w


def distance(a, b):
    (a, w), (b, _) = a, b
    full = (1 << w) - 1
    best = None
    for dy in range(-SHIFT_Y, SHIFT_Y + 1):
        for dx in range(-SHIFT_X, SHIFT_X + 1):
            n = 0
            for i, row in enumerate(a):
                j = i + dy
                other = b[j] if 0 <= j < len(b) else 0
                other = (other << dx if dx >= 0 else other >> -dx) & full
                n += (row ^ other).bit_count()
                if best is not None and n >= best:
                    break
            if best is None or n < best:
                best = n
    return best


def main():
    x, y, w, h = (int(v) for v in sys.argv[1:5])
    args = sys.argv[5:] + ["--"]
    split = args.index("--")
    references = [silhouette(p, x, y, w, h) for p in args[:split]]
    pictures = [silhouette(p, x, y, w, h) for p in args[split + 1:-1]]
    if pictures:
        print(max(min(distance(a, b) for b in references) for a in pictures))
    else:
        print(max(min(distance(a, b) for j, b in enumerate(references) if j != i)
                  for i, a in enumerate(references)))


if __name__ == "__main__":
    main()
