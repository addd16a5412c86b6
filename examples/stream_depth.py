#!/usr/bin/env python3
"""Streams depth from the camera (the software camera when no hardware is attached).

Prints the frame rate and the distance at the image centre once a second, and writes a
colour-mapped PNG of the last depth frame. Ctrl-C ends the stream cleanly.
"""
import argparse
import sys
import time

import TelmoraDepthCamera as tdc
from depth_image import colorize, write_png


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--frames", type=int, default=150, help="depth frames to stream (default 150)")
    p.add_argument("--output", default="depth.png", help="PNG of the last frame (default depth.png)")
    p.add_argument("--config", help="configuration file for the USB camera (openWithFile)")
    p.add_argument("--csi", type=int, metavar="INDEX", help="open the CSI camera /dev/videoINDEX instead")
    return p.parse_args()


def open_camera(cam, args):
    if args.csi is not None:
        return cam.open(tdc.TOFConnect.CSI, args.csi)
    if args.config:
        return cam.openWithFile(args.config, 0)
    return cam.open(tdc.TOFConnect.USB)


def stream(cam, frames):
    """Returns the last depth plane; reports once a second."""
    last, got, timeouts = None, 0, 0
    window_start, window_frames = time.monotonic(), 0
    while got < frames:
        frame = cam.requestFrame(500)
        if frame is None:
            timeouts += 1
            if timeouts >= 10:
                raise RuntimeError("no frame arrived for 5 s")
            continue
        timeouts = 0
        last = frame.getDepthData()  # a copy: valid after the release below
        cam.releaseFrame(frame)
        got += 1
        window_frames += 1
        now = time.monotonic()
        if now - window_start >= 1.0:
            h, w = last.shape
            print(f"{window_frames / (now - window_start):5.1f} fps  centre {last[h // 2, w // 2]:7.1f} mm", flush=True)
            window_start, window_frames = now, 0
    return last


def main():
    args = parse_args()
    cam = tdc.TelmoraCamera()
    status = open_camera(cam, args)
    if status != tdc.TOFErrorCode.TelmoraSuccess:
        print(f"open failed: {status.str()}", file=sys.stderr)
        return 1
    info = cam.getCameraInfo()
    print(f"camera {info.width} x {info.height}, {info.bit_width}-bit, device {info.device_type.name}")
    last = None
    try:
        status = cam.start(tdc.TOFOutput.DEPTH)
        if status != tdc.TOFErrorCode.TelmoraSuccess:
            print(f"start failed: {status.str()}", file=sys.stderr)
            return 1
        last = stream(cam, args.frames)
    except KeyboardInterrupt:
        print("interrupted")
    finally:
        cam.stop()
        cam.close()
    if last is not None:
        write_png(args.output, colorize(last))
        print(f"wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
