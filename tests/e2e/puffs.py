"""Looks through the demo's frame captures for dust puffs while the picture otherwise stands
still.

    puffs.py <folder> <first frame> <last frame> <x> <y> <w> <h>

A puff is drawn additively in a dark grey, so where one passes, a pixel of the still scene
gets brighter by the same small amount in red, green and blue.  Each capture from the first
frame on is compared with the darkest value each pixel has had in the captures before it (the
scene without puffs, once a puff has moved on); the pixels of the region brightened that way
are counted.  Prints "<pixels> <frame>" for the largest count and exits 0 as soon as a
capture has at least MIN_PIXELS of them, 1 when none up to the last frame has.
The region is sampled every other pixel each way, so the counts are a quarter of the area.
"""
import os
import sys

from frames import region

MIN_PIXELS = 100          # sampled pixels: about 400 on the screen, a third of a near puff
LOW, HIGH = 6, 45         # brightening per channel of a puff (its colour is 0x22 per channel)
GREY = 6                  # largest spread between the channels' brightening


def brightened(pixels, darkest):
    n = 0
    for i in range(0, len(pixels) - 2, 3):
        dr = pixels[i] - darkest[i]
        dg = pixels[i + 1] - darkest[i + 1]
        db = pixels[i + 2] - darkest[i + 2]
        low, high = min(dr, dg, db), max(dr, dg, db)
        if low >= LOW and high <= HIGH and high - low <= GREY:
            n += 1
    return n


def main():
    folder = sys.argv[1]
    first, last = int(sys.argv[2]), int(sys.argv[3])
    x, y, w, h = (int(v) for v in sys.argv[4:8])
    darkest, best = None, (0, -1)
    for name in sorted(n for n in os.listdir(folder) if n.startswith("frame_")):
        frame = int(name[6:-4])
        if frame < first or frame > last:
            continue
        pixels, _, _ = region(os.path.join(folder, name), x, y, w, h)
        if darkest is None:
            darkest = bytearray(pixels)
            continue
        count = brightened(pixels, darkest)
        best = max(best, (count, frame))
        if count >= MIN_PIXELS:
            break
        for i, value in enumerate(pixels):
            darkest[i] = min(darkest[i], value)
    print(*best)
    return 0 if best[0] >= MIN_PIXELS else 1


if __name__ == "__main__":
    sys.exit(main())
