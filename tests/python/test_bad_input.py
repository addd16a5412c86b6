"""Bad input from Python for every call: a clear exception or a status, never a crash.

Cases run on a camera opened on the software camera (unpaced) unless they say otherwise;
a crash would take the whole test run down with it.
"""
import gc

import pytest

import TelmoraDepthCamera as tdc
from conftest import write_config

OK = tdc.TOFErrorCode.TelmoraSuccess
C = tdc.TOFControl
HUGE = "x" * (8 << 20)


@pytest.fixture
def opened(tmp_path):
    cam = tdc.TelmoraCamera()
    assert cam.openWithFile(write_config(tmp_path, fps=0)) == OK
    yield cam
    cam.stop()
    cam.close()


@pytest.mark.parametrize("call", [
    lambda c: tdc.TelmoraCamera(1),
    lambda c: c.open("USB"),
    lambda c: c.open(None),
    lambda c: c.open(tdc.TOFConnect.USB, "0"),
    lambda c: c.open(tdc.TOFConnect.USB, 2 ** 31),
    lambda c: c.open(tdc.TOFConnect.USB, -2 ** 31 - 1),
    lambda c: c.open(tdc.TOFConnect.USB, 2 ** 200),
    lambda c: c.openWithFile(b"x", 2 ** 40),
    lambda c: c.openWithFile(3.5),
    lambda c: c.openWithFile(["camera.cfg"]),
    lambda c: c.start(None),
    lambda c: c.start("DEPTH"),
    lambda c: c.start(tdc.TOFConnect.USB),  # an enumeration of another kind
    lambda c: c.setControl(C.RANGE, None),
    lambda c: c.setControl(C.RANGE, 2 ** 31),
    lambda c: c.setControl(C.RANGE, -2 ** 31 - 1),
    lambda c: c.setControl(C.RANGE, "4000"),
    lambda c: c.setControl(6, 1),
    lambda c: c.getControl("RANGE"),
    lambda c: c.getControl(None),
    lambda c: c.requestFrame(None),
    lambda c: c.requestFrame("10"),
    lambda c: c.requestFrame(2 ** 15),
    lambda c: c.requestFrame(-2 ** 15 - 1),
    lambda c: c.releaseFrame(object()),
    lambda c: c.releaseFrame(c),
    lambda c: c.getCameraInfo(1),
    lambda c: c.close(1),
    lambda c: c.stop(None),
], ids=lambda f: f.__code__.co_firstlineno)
def test_wrong_types_and_out_of_range_ints_raise_type_error(opened, call):
    with pytest.raises(TypeError):
        call(opened)


@pytest.mark.parametrize("name, value", [
    ("width", -1), ("width", 2 ** 32), ("width", 1.0), ("width", "1"), ("index", None),
    ("bpp", 2 ** 64), ("connect", 1), ("connect", tdc.TOFOutput.RAW), ("type", None),
])
def test_record_fields_refuse_bad_values(opened, name, value):
    info = opened.getCameraInfo()
    with pytest.raises(TypeError):
        setattr(info, name, value)


@pytest.mark.parametrize("path", [
    HUGE,
    HUGE.encode(),
    "/nonexistent/" + "d/" * 3000 + "camera.cfg",
    "/",
    "\u00e9\u20ac\U0001f600.cfg",
])
def test_unopenable_or_unreadable_paths_give_a_status(path):
    # (An empty path is the default camera, as open() uses it.)
    cam = tdc.TelmoraCamera()
    assert cam.openWithFile(path) != OK
    assert cam.close() is not None


@pytest.mark.parametrize("path", ["camera.cfg\0", b"camera.cfg\0.ignored", "\0"])
def test_paths_with_nul_are_refused_not_cut(tmp_path, monkeypatch, path):
    # A path cut at its NUL would open another file than the one named: camera.cfg here.
    monkeypatch.chdir(tmp_path)
    write_config(tmp_path, fps=0)
    cam = tdc.TelmoraCamera()
    with pytest.raises(ValueError):
        cam.openWithFile(path)


def test_undecodable_str_path_raises(tmp_path):
    cam = tdc.TelmoraCamera()
    with pytest.raises((TypeError, UnicodeError)):
        cam.openWithFile(str(tmp_path) + "/\udcff.cfg")


def test_garbage_configuration_files_give_a_status(tmp_path):
    cases = [b"\xff\xfe\x00garbage", b"width 0\n", b"bits 99\n", b"width 4096\nheight 4096\nfps 1000\n" * 3,
             b"fps -1\n", b"width " + b"9" * 5000 + b"\n", b"\n" * 100000]
    for i, content in enumerate(cases):
        path = tmp_path / f"bad{i}.cfg"
        path.write_bytes(content)
        cam = tdc.TelmoraCamera()
        rc = cam.openWithFile(str(path))
        if rc == OK:  # the few that parse must stream or refuse to start cleanly
            if cam.start(tdc.TOFOutput.DEPTH) == OK:
                frame = cam.requestFrame(3000)
                if frame is not None:
                    assert cam.releaseFrame(frame) == OK
                cam.stop()
        cam.close()


@pytest.mark.parametrize("call", [
    lambda c: c.close(),
    lambda c: c.start(tdc.TOFOutput.DEPTH),
    lambda c: c.stop(),
    lambda c: c.setControl(C.RANGE, 4000),
    lambda c: c.setControl(C.FRAME_RATE, 10),
    lambda c: c.releaseFrame(None),
], ids=lambda f: f.__code__.co_firstlineno)
def test_calls_on_a_camera_never_opened_give_a_status(call):
    cam = tdc.TelmoraCamera()
    assert call(cam) != OK


def test_queries_on_a_camera_never_opened_answer_quietly():
    cam = tdc.TelmoraCamera()
    assert cam.getControl(C.RANGE) == 0
    assert cam.requestFrame(0) is None
    assert cam.requestFrame(-1) is None  # no stream: nothing to wait for
    cam.getCameraInfo()


@pytest.mark.parametrize("ctrl, value", [
    (C.SKIP_FRAME_LOOP, 0), (C.SKIP_FRAME_LOOP, -1), (C.SKIP_FRAME_LOOP, 256), (C.SKIP_FRAME_LOOP, 2 ** 31 - 1),
    (C.SKIP_FRAME, -1), (C.SKIP_FRAME, 2), (C.SKIP_FRAME, -2 ** 31),
    (C.FRAME_RATE, 0), (C.FRAME_RATE, -1), (C.FRAME_RATE, 2 ** 31 - 1),
    (C.RANGE, -1), (C.RANGE, 0), (C.RANGE, 2 ** 31 - 1),
    (C.EXPOSURE, -2 ** 31), (C.FMT_WIDTH, 0), (C.FMT_WIDTH, 2 ** 31 - 1), (C.FMT_HEIGHT, -1),
    (C.MODE, 2 ** 31 - 1), (C.FRAME_MODE, -7), (C.CONFIG_DIR_EXT, 1), (tdc.TOFControl(1000), 1),
])
def test_out_of_range_controls_are_refused_or_harmless(opened, ctrl, value):
    before = opened.getControl(ctrl)
    rc = opened.setControl(ctrl, value)
    if rc != OK:
        assert opened.getControl(ctrl) == before  # a refused value changes nothing
    # Whatever was accepted, streaming either works or is refused; it does not crash.
    if opened.start(tdc.TOFOutput.DEPTH) == OK:
        frame = opened.requestFrame(500)
        if frame is not None:
            frame.getDepthData()
            assert opened.releaseFrame(frame) == OK
        assert opened.stop() == OK


@pytest.mark.parametrize("output", [tdc.TOFOutput.CONFIDENCE, tdc.TOFOutput.CACHE, tdc.TOFOutput(99),
                                    tdc.TOFOutput(-1)])
def test_start_with_an_output_that_is_not_raw_or_depth_is_refused(opened, output):
    assert opened.start(output) != OK
    assert opened.requestFrame(0) is None


def test_open_with_unknown_connection_or_missing_node_gives_a_status():
    cam = tdc.TelmoraCamera()
    assert cam.open(tdc.TOFConnect(7), 0) == tdc.TOFErrorCode.TelmoraUnkownError
    assert cam.open(tdc.TOFConnect.CSI, 2 ** 31 - 1) != OK  # no such capture node
    assert cam.open(tdc.TOFConnect.CSI, -1) != OK
    assert cam.start(tdc.TOFOutput.DEPTH) != OK


def test_frames_from_another_camera_are_refused(opened, tmp_path):
    other = tdc.TelmoraCamera()
    assert other.openWithFile(write_config(tmp_path, fps=0)) == OK
    assert other.start(tdc.TOFOutput.DEPTH) == OK
    assert opened.start(tdc.TOFOutput.DEPTH) == OK
    foreign = other.requestFrame(3000)
    own = opened.requestFrame(3000)
    assert foreign is not None and own is not None
    assert opened.releaseFrame(foreign) == tdc.TOFErrorCode.TelmoraUnkownError
    assert other.releaseFrame(own) == tdc.TOFErrorCode.TelmoraUnkownError
    foreign.getDepthData()  # still held by its own camera, still readable
    assert other.releaseFrame(foreign) == OK
    assert opened.releaseFrame(own) == OK
    other.stop()
    other.close()


def test_frames_outliving_release_restart_close_and_camera_raise(tmp_path):
    cam = tdc.TelmoraCamera()
    assert cam.openWithFile(write_config(tmp_path, fps=0)) == OK
    assert cam.start(tdc.TOFOutput.DEPTH) == OK
    kept = cam.requestFrame(3000)
    released = cam.requestFrame(3000)  # both held at once: two different buffers
    assert released is not kept
    assert cam.releaseFrame(released) == OK
    assert cam.releaseFrame(released) != OK
    cam.stop()
    cam.close()
    for getter in (released.getDepthData, released.getFrameFormat):
        with pytest.raises(RuntimeError):
            getter()
    kept.getDepthData()  # the camera still exists: its last queue is kept after close
    del cam
    gc.collect()
    for getter in (kept.getDepthData, kept.getAmplitudeData, kept.getConfidenceData, kept.getFrameFormat):
        with pytest.raises(RuntimeError):
            getter()


def test_calls_after_close_give_a_status(opened):
    assert opened.start(tdc.TOFOutput.DEPTH) == OK
    assert opened.close() == OK
    assert opened.stop() != OK
    left = []  # frames ready before the close may still be taken, at most the three nodes
    while (frame := opened.requestFrame(0)) is not None and len(left) < 4:
        left.append(frame)
    assert len(left) <= 3
    assert all(opened.releaseFrame(f) == OK for f in left)
    rc = opened.start(tdc.TOFOutput.DEPTH)
    if rc == OK:
        opened.stop()
    opened.close()
