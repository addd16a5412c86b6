"""Python side of the benchmark: a depth plane to numpy beside numpy's own copy of an equal
array, and the frame time of an unpaced DEPTH stream from the software camera. Medians of
alternating repetitions; the last line is one JSON object with the figures in microseconds."""
import json
import os
import statistics
import tempfile
import time

import numpy as np

import TelmoraDepthCamera as tdc

REPETITIONS = 15
CALLS = 200


def per_call_us(fn, calls=CALLS):
    t0 = time.thread_time_ns()
    for _ in range(calls):
        fn()
    return (time.thread_time_ns() - t0) / calls / 1000.0


def main():
    figures = {}
    with tempfile.TemporaryDirectory() as tmp:
        config = os.path.join(tmp, "unpaced.cfg")
        with open(config, "w") as f:
            f.write("fps 0\n")
        cam = tdc.TelmoraCamera()
        assert cam.openWithFile(config, 0) == tdc.TOFErrorCode.TelmoraSuccess
        assert cam.start(tdc.TOFOutput.DEPTH) == tdc.TOFErrorCode.TelmoraSuccess

        frame = cam.requestFrame(5000)
        plane = frame.getDepthData()
        copies = {"get_depth_data": [], "numpy_copy": []}
        for _ in range(REPETITIONS):
            copies["get_depth_data"].append(per_call_us(frame.getDepthData))
            copies["numpy_copy"].append(per_call_us(plane.copy))
        cam.releaseFrame(frame)
        figures["get_depth_data_us"] = statistics.median(copies["get_depth_data"])
        figures["numpy_copy_us"] = statistics.median(copies["numpy_copy"])
        print("depth plane 240 x 180 to numpy (thread CPU time per call)")
        print("  numpy copy of an equal array     %9.2f us" % figures["numpy_copy_us"])
        print("  getDepthData                     %9.2f us   (%.2f x numpy)"
              % (figures["get_depth_data_us"], figures["get_depth_data_us"] / figures["numpy_copy_us"]))

        # A delivered frame: request, read the depth, release. Process CPU time (both the
        # capture thread and this one) rather than wall time, which a loaded machine stretches;
        # the unpaced camera stamps its captures 10 ms apart, so the stamps count the captures
        # made, delivered or not.
        frames = 60
        for _ in range(10):
            cam.releaseFrame(cam.requestFrame(5000))
        cpu, wall, made = [], [], []
        for _ in range(REPETITIONS):
            f = cam.requestFrame(5000)
            first = f.getFrameFormat().timestamp
            cam.releaseFrame(f)
            c0, w0 = time.process_time_ns(), time.perf_counter_ns()
            for _ in range(frames):
                f = cam.requestFrame(5000)
                f.getDepthData()
                last = f.getFrameFormat().timestamp
                cam.releaseFrame(f)
            cpu.append((time.process_time_ns() - c0) / frames / 1000.0)
            wall.append((time.perf_counter_ns() - w0) / frames / 1000.0)
            made.append((last - first) / 10.0 / frames)
        cam.stop()
        cam.close()
        figures["stream_cpu_per_frame_us"] = statistics.median(cpu)
        figures["stream_wall_per_frame_us"] = statistics.median(wall)
        figures["stream_captures_per_frame"] = statistics.median(made)
        print("unpaced DEPTH stream read from Python, per delivered frame: %.1f us CPU (both threads), "
              "%.1f us wall, %.2f captures made" % (figures["stream_cpu_per_frame_us"],
                                                    figures["stream_wall_per_frame_us"],
                                                    figures["stream_captures_per_frame"]))
    print(json.dumps({k: round(v, 3) for k, v in figures.items()}))


if __name__ == "__main__":
    main()
