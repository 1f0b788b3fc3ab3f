#!/usr/bin/env python3
"""Makes the damaged and hostile image files of this folder.

Run once from anywhere (python3 make_corpus.py); the files it writes are kept
in the repository. It needs OpenImageIO's oiiotool for the few small valid
images the damaged ones start from; everything else is done here with the
standard library. Every file stays a few kilobytes at most.
"""

import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def out(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def made_by_oiiotool(ext, args):
    """A small valid image, made by oiiotool, as bytes."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "image" + ext)
        subprocess.run(["oiiotool"] + args + ["-o", path], check=True)
        with open(path, "rb") as f:
            return f.read()


def noise(width, height, channels, extra=()):
    # Noise compresses badly, so a cut anywhere in the file loses rows.
    return ["--pattern", "noise:type=uniform:min=0:max=1", "%dx%d" % (width, height), str(channels)] + list(extra)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_claiming(width, height, depth, colour_type, rows):
    """A PNG whose header claims `width` x `height` but whose data holds
    `rows` bytes of filtered rows, and which has no end chunk."""
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(rows))


def flip_bytes(data, start, count):
    b = bytearray(data)
    for i in range(start, min(start + count, len(b))):
        b[i] ^= 0x5A
    return bytes(b)


def tiff_claiming(width, height, bits, channels):
    """An uncompressed little-endian TIFF whose one strip lies far beyond
    the end of the file."""
    entries = [
        (256, 4, 1, width),            # ImageWidth
        (257, 4, 1, height),           # ImageLength
        (258, 3, 1, bits),             # BitsPerSample (one value for every channel)
        (259, 3, 1, 1),                # no compression
        (262, 3, 1, 2),                # RGB
        (273, 4, 1, 0x7FFF0000),       # StripOffsets
        (277, 3, 1, channels),         # SamplesPerPixel
        (278, 4, 1, height),           # RowsPerStrip
        (279, 4, 1, width * height * channels * bits // 8 & 0xFFFFFFFF),  # StripByteCounts
        (284, 3, 1, 1),                # contiguous
    ]
    ifd = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        packed = struct.pack("<H", value) + b"\0\0" if kind == 3 else struct.pack("<I", value)
        ifd += struct.pack("<HHI", tag, kind, count) + packed
    ifd += struct.pack("<I", 0)
    return b"II*\0" + struct.pack("<I", 8) + ifd


def main():
    # PNG: cut short, damaged inside its pixel data, and a 74-byte file whose
    # header claims 40000 x 40000 16-bit RGBA.
    png = made_by_oiiotool(".png", noise(64, 48, 3))
    out("png-truncated.png", png[: len(png) // 2])
    out("png-corrupt.png", flip_bytes(png, len(png) // 2, 64))
    out("png-huge-header.png", png_claiming(40000, 40000, 16, 6, b"\0" * 8))

    # JPEG: the first part of a file, a damaged scan, and a small file whose
    # frame header is patched to 16000 x 8000.
    jpeg = made_by_oiiotool(".jpg", noise(64, 48, 3))
    out("jpeg-truncated.jpg", jpeg[: len(jpeg) * 2 // 5])
    out("jpeg-corrupt.jpg", flip_bytes(jpeg, len(jpeg) // 2, 200))
    frame = jpeg.index(b"\xff\xc0")
    patched = bytearray(jpeg)
    patched[frame + 5 : frame + 9] = struct.pack(">HH", 8000, 16000)
    out("jpeg-huge-header.jpg", bytes(patched))

    # TIFF: cut short, damaged, and a small file claiming 60000 x 60000 RGB
    # 16-bit whose strip is missing.
    tiff = made_by_oiiotool(".tif", noise(64, 48, 3, ["--compression", "zip"]))
    out("tiff-truncated.tif", tiff[: len(tiff) // 2])
    out("tiff-corrupt.tif", flip_bytes(tiff, len(tiff) // 3, 300))
    out("tiff-huge-header.tif", tiff_claiming(60000, 60000, 16, 3))

    # OpenEXR: cut short and damaged.
    exr = made_by_oiiotool(".exr", noise(64, 48, 3, ["-d", "half", "--compression", "zip"]))
    out("exr-truncated.exr", exr[: len(exr) // 2])
    out("exr-corrupt.exr", flip_bytes(exr, len(exr) * 2 // 3, 200))

    # Radiance HDR: cut short, and a header claiming 60000 x 60000.
    hdr = made_by_oiiotool(".hdr", noise(64, 48, 3))
    out("hdr-truncated.hdr", hdr[: len(hdr) // 2])
    out("hdr-huge-header.hdr",
        b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 60000 +X 60000\n" + bytes([2, 2, 0xEA, 0x60]) + b"\x80" * 16)

    # A valid image, and masks of its size: one cut short, one damaged.
    out("valid-64x48.png", made_by_oiiotool(".png", noise(64, 48, 3)))
    mask = made_by_oiiotool(".tif", noise(64, 48, 1, ["--compression", "zip"]))
    out("mask-truncated.tif", mask[: len(mask) // 2])
    mask_png = made_by_oiiotool(".png", noise(64, 48, 1))
    out("mask-truncated.png", mask_png[: len(mask_png) // 2])


if __name__ == "__main__":
    main()
