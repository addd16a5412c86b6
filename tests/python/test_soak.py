"""Four Python threads requesting and releasing frames of one camera.

Runs TELMORA_SOAK_SECONDS seconds (30 by default). No frame may reach two holders at once
or come twice, no release of a held frame may be refused, and afterwards all three nodes
must still be in circulation.
"""
import os
import random
import threading
import time

import TelmoraDepthCamera as tdc
from conftest import write_config

OK = tdc.TOFErrorCode.TelmoraSuccess
SECONDS = float(os.environ.get("TELMORA_SOAK_SECONDS", "30"))


def test_four_threads_request_and_release(tmp_path, capsys):
    cam = tdc.TelmoraCamera()
    assert cam.openWithFile(write_config(tmp_path, fps=0)) == OK
    assert cam.start(tdc.TOFOutput.DEPTH) == OK
    lock = threading.Lock()
    held = set()
    stamps = []
    problems = []
    deadline = time.monotonic() + SECONDS

    def worker(seed):
        rng = random.Random(seed)
        mine = []
        try:
            while time.monotonic() < deadline:
                frame = cam.requestFrame(rng.choice((0, 5, 50)))
                if frame is not None:
                    stamp = frame.getFrameFormat().timestamp
                    if rng.random() < 0.2:
                        frame.getDepthData()
                    with lock:
                        if id(frame) in held:
                            problems.append(("held twice", stamp))
                        held.add(id(frame))
                        stamps.append(stamp)
                    mine.append(frame)
                # Keep up to two frames for a while, so the queue sometimes runs dry.
                while mine and (len(mine) > 2 or rng.random() < 0.6):
                    frame = mine.pop(rng.randrange(len(mine)))
                    with lock:
                        held.discard(id(frame))
                    rc = cam.releaseFrame(frame)
                    if rc != OK:
                        problems.append(("release refused", rc))
        finally:
            for frame in mine:
                with lock:
                    held.discard(id(frame))
                cam.releaseFrame(frame)

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(4)]
    t0 = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - t0

    # No node lost: all three can be held at once.
    last = [cam.requestFrame(3000) for _ in range(3)]
    assert all(f is not None for f in last)
    assert len({id(f) for f in last}) == 3
    t_stop = time.monotonic()
    assert cam.stop() == OK
    stop_s = time.monotonic() - t_stop
    assert all(cam.releaseFrame(f) == OK for f in last)
    assert cam.close() == OK

    with capsys.disabled():
        print(f"\n[soak] 4 Python threads, {elapsed:.1f} s: {len(stamps)} frames, "
              f"{len(set(stamps))} distinct, {len(problems)} problems; stop took {stop_s * 1000:.0f} ms")
    assert problems == []
    assert len(stamps) == len(set(stamps))  # no capture delivered twice
    assert len(stamps) > SECONDS  # frames kept flowing
    assert stop_s < 3.0
