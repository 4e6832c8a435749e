"""Pixels of the demo's pictures for the end-to-end tests' checks."""
import subprocess


def region(path, x, y, w, h, sample=True):
    """The RGB bytes of a rectangle of a picture, row by row, and its width and height;
    sampled every other pixel each way (a quarter of the pixels) unless sample is False."""
    command = ["convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    if sample:
        command += ["-sample", "50%"]
    ppm = subprocess.run(command + ["-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    # P6 header: magic, width, height, maximum, each followed by one white-space byte.
    fields, pos = [], 0
    while len(fields) < 4:
        while ppm[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not ppm[pos:pos + 1].isspace():
            pos += 1
        fields.append(ppm[start:pos])
    return ppm[pos + 1:], int(fields[1]), int(fields[2])
