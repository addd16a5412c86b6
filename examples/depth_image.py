"""Colour-mapped depth images written as PNG with numpy and the standard library only."""
import struct
import zlib

import numpy as np

# Control points of a blue -> cyan -> green -> yellow -> red ramp.
_RAMP = np.array(
    [[0, 0, 128], [0, 0, 255], [0, 255, 255], [0, 255, 0], [255, 255, 0], [255, 0, 0], [128, 0, 0]],
    dtype=np.float32,
)


def colorize(depth_mm, max_mm=4000.0):
    """Maps depth in millimetres to RGB; pixels without depth (0) are black."""
    depth = np.asarray(depth_mm, dtype=np.float32)
    t = np.clip(depth / float(max_mm), 0.0, 1.0) * (len(_RAMP) - 1)
    low = np.floor(t).astype(np.int32)
    high = np.minimum(low + 1, len(_RAMP) - 1)
    frac = (t - low)[..., None]
    rgb = _RAMP[low] * (1.0 - frac) + _RAMP[high] * frac
    rgb[depth <= 0] = 0
    return rgb.astype(np.uint8)


def write_png(path, rgb):
    """Writes an (h, w, 3) uint8 array as an 8-bit RGB PNG."""
    rgb = np.ascontiguousarray(rgb, dtype=np.uint8)
    height, width = rgb.shape[:2]
    rows = np.zeros((height, 1 + width * 3), dtype=np.uint8)  # filter byte 0 per row
    rows[:, 1:] = rgb.reshape(height, width * 3)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(rows.tobytes(), 9)))
        f.write(chunk(b"IEND", b""))
