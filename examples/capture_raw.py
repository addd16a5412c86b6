#!/usr/bin/env python3
"""Streams RAW frames and saves them as one numpy file (frames, height, width) of int16."""
import argparse
import sys

import numpy as np

import TelmoraDepthCamera as tdc


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--frames", type=int, default=10, help="raw frames to keep (default 10)")
    p.add_argument("--output", default="raw_frames.npy", help="output .npy file")
    p.add_argument("--config", help="configuration file for the USB camera (openWithFile)")
    args = p.parse_args()

    cam = tdc.TelmoraCamera()
    status = cam.openWithFile(args.config, 0) if args.config else cam.open(tdc.TOFConnect.USB)
    if status != tdc.TOFErrorCode.TelmoraSuccess:
        print(f"open failed: {status.str()}", file=sys.stderr)
        return 1
    frames = []
    try:
        if cam.start(tdc.TOFOutput.RAW) != tdc.TOFErrorCode.TelmoraSuccess:
            print("start failed", file=sys.stderr)
            return 1
        misses = 0
        while len(frames) < args.frames and misses < 10:
            frame = cam.requestFrame(500)
            if frame is None:
                misses += 1
                continue
            frames.append(frame.getRawData())
            cam.releaseFrame(frame)
    except KeyboardInterrupt:
        print("interrupted")
    finally:
        cam.stop()
        cam.close()
    if not frames:
        print("no frame arrived", file=sys.stderr)
        return 1
    np.save(args.output, np.stack(frames))
    print(f"wrote {len(frames)} frames of {frames[0].shape[1]} x {frames[0].shape[0]} to {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
