#!/usr/bin/env python3
"""Turns one depth frame into a PLY point cloud with a pinhole camera model.

The depth value is taken as the distance along the optical axis (z). The field of view is
an assumption of this example, not a calibration: 70 degrees horizontally by default
(change it with --hfov); pixels are square, the principal point is the image centre.
"""
import argparse
import math
import sys

import numpy as np

import TelmoraDepthCamera as tdc


def to_points(depth_mm, hfov_deg):
    h, w = depth_mm.shape
    fx = (w / 2.0) / math.tan(math.radians(hfov_deg) / 2.0)
    cols, rows = np.meshgrid(np.arange(w, dtype=np.float32), np.arange(h, dtype=np.float32))
    z = depth_mm / 1000.0
    x = (cols - (w - 1) / 2.0) * z / fx
    y = (rows - (h - 1) / 2.0) * z / fx
    valid = z > 0
    return np.stack([x[valid], y[valid], z[valid]], axis=1)


def write_ply(path, points):
    with open(path, "w") as f:
        f.write("ply\nformat ascii 1.0\n")
        f.write(f"element vertex {len(points)}\n")
        f.write("property float x\nproperty float y\nproperty float z\nend_header\n")
        np.savetxt(f, points, fmt="%.4f")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--output", default="cloud.ply")
    p.add_argument("--hfov", type=float, default=70.0, help="assumed horizontal field of view, degrees")
    p.add_argument("--config", help="configuration file for the USB camera (openWithFile)")
    args = p.parse_args()

    cam = tdc.TelmoraCamera()
    status = cam.openWithFile(args.config, 0) if args.config else cam.open(tdc.TOFConnect.USB)
    if status != tdc.TOFErrorCode.TelmoraSuccess:
        print(f"open failed: {status.str()}", file=sys.stderr)
        return 1
    depth = None
    try:
        if cam.start(tdc.TOFOutput.DEPTH) == tdc.TOFErrorCode.TelmoraSuccess:
            frame = cam.requestFrame(2000)
            if frame is not None:
                depth = frame.getDepthData()
                cam.releaseFrame(frame)
    finally:
        cam.stop()
        cam.close()
    if depth is None:
        print("no depth frame arrived", file=sys.stderr)
        return 1
    points = to_points(depth, args.hfov)
    write_ply(args.output, points)
    print(f"wrote {len(points)} points to {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
