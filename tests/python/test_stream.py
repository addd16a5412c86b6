"""Calls, argument conversion, frames and arrays against the software camera."""
import subprocess
import sys
import time

import numpy as np
import pytest

import TelmoraDepthCamera as tdc
from conftest import write_config

OK = tdc.TOFErrorCode.TelmoraSuccess


def request(cam, timeout=2000):
    frame = cam.requestFrame(timeout)
    assert frame is not None
    return frame


def test_open_defaults_to_index_zero_and_reports_info(camera):
    assert camera.open(tdc.TOFConnect.USB) == OK
    info = camera.getCameraInfo()
    assert (info.index, info.connect, info.device_type) == (0, tdc.TOFConnect.USB, tdc.TOFDeviceType.HQVGA)
    assert (info.width, info.height, info.bit_width, info.bpp) == (240, 180, 12, 2)


def test_keyword_arguments(camera, wall_config):
    assert camera.openWithFile(path=wall_config, index=3) == OK
    assert camera.getCameraInfo().index == 3
    assert camera.setControl(ctrl=tdc.TOFControl.RANGE, value=2000) == OK
    assert camera.getControl(ctrl=tdc.TOFControl.RANGE) == 2000
    assert camera.start(type=tdc.TOFOutput.DEPTH) == OK
    frame = camera.requestFrame(timeout=2000)
    assert isinstance(frame, tdc.DepthData)
    assert camera.releaseFrame(frame=frame) == OK


@pytest.mark.parametrize("call", [
    lambda c: c.open(0),  # a plain int is not a TOFConnect
    lambda c: c.open(tdc.TOFConnect.USB, 1.5),
    lambda c: c.open(tdc.TOFConnect.USB, 2 ** 31),
    lambda c: c.start(),
    lambda c: c.start(2),
    lambda c: c.setControl(tdc.TOFControl.RANGE, 2 ** 31),
    lambda c: c.getControl(6),
    lambda c: c.openWithFile(42),
    lambda c: c.releaseFrame(42),
])
def test_argument_type_errors(camera, call):
    with pytest.raises(TypeError):
        call(camera)


@pytest.mark.parametrize("timeout", [32768, -32769, 1.5])
def test_request_timeout_range_checked_without_waiting(depth_camera, timeout):
    t0 = time.monotonic()
    with pytest.raises(TypeError):
        depth_camera.requestFrame(timeout)
    assert time.monotonic() - t0 < 0.1


def test_null_arguments_give_unknown_error(camera):
    assert camera.openWithFile(None) == tdc.TOFErrorCode.TelmoraUnkownError
    assert camera.releaseFrame(None) == tdc.TOFErrorCode.TelmoraUnkownError


def test_bytes_path_accepted(camera, wall_config):
    assert camera.openWithFile(wall_config.encode()) == OK


def test_failed_get_control_returns_zero(camera, wall_config):
    camera.openWithFile(wall_config)
    assert camera.getControl(tdc.TOFControl.EXPOSURE) == 0  # the USB sensor reads no controls


def test_unlisted_control_reaches_the_native_side(camera, wall_config):
    camera.openWithFile(wall_config)
    assert camera.setControl(tdc.TOFControl(9), 0) == OK  # AUTO_FRAME_RATE
    assert camera.getControl(tdc.TOFControl(9)) == 0


@pytest.mark.parametrize("value", [-1, 2 ** 32, 1.0])
def test_info_unsigned_fields_refuse_out_of_range(camera, value):
    info = camera.getCameraInfo()
    with pytest.raises(TypeError):
        info.width = value


def test_info_is_a_copy_and_enum_attributes_are_tied(camera, wall_config):
    camera.openWithFile(wall_config)
    info = camera.getCameraInfo()
    info.width = 4294967295
    assert info.width == 4294967295
    assert camera.getCameraInfo().width == 240
    connect = info.connect
    width = info.width
    info.connect = tdc.TOFConnect.CSI
    info.width = 5
    assert connect == tdc.TOFConnect.CSI  # tied to the record's field
    assert width == 4294967295  # a plain int


def test_depth_arrays(depth_camera):
    frame = request(depth_camera)
    arrays = [frame.getDepthData(), frame.getConfidenceData(), frame.getAmplitudeData(), frame.getDepthData()]
    for a in arrays:
        assert a.shape == (180, 240) and a.dtype == np.float32
        assert a.flags.c_contiguous and a.flags.writeable and a.flags.owndata
    assert len({id(a) for a in arrays}) == 4
    np.testing.assert_array_equal(arrays[0], arrays[3])
    arrays[0][0, 0] = -1.0
    assert frame.getDepthData()[0, 0] != -1.0
    fmt = frame.getFrameFormat()
    assert (fmt.width, fmt.height, fmt.type) == (240, 180, tdc.TOFOutput.DEPTH)
    assert fmt.timestamp > 0
    depth_camera.releaseFrame(frame)


def test_flat_wall_depth_matches_ground_truth(depth_camera):
    for _ in range(3):
        frame = request(depth_camera)
        depth = frame.getDepthData()
        amplitude = frame.getAmplitudeData()
        confidence = frame.getConfidenceData()
        depth_camera.releaseFrame(frame)
        assert np.abs(depth - 1000.0).max() <= 2.0
        assert amplitude.min() > 0
        np.testing.assert_array_equal(amplitude, confidence)  # the HQVGA device reports both alike


def test_arrays_stay_valid_after_release(depth_camera):
    frame = request(depth_camera)
    depth = frame.getDepthData()
    copy = depth.copy()
    depth_camera.releaseFrame(frame)
    for _ in range(5):
        depth_camera.releaseFrame(request(depth_camera))
    np.testing.assert_array_equal(depth, copy)


def test_raw_frames(camera, wall_config):
    camera.openWithFile(wall_config)
    assert camera.start(tdc.TOFOutput.RAW) == OK
    frame = request(camera)
    assert isinstance(frame, tdc.RawData) and isinstance(frame, tdc.TelmoraFrame)
    raw = frame.getRawData()
    assert raw.shape == (720, 240) and raw.dtype == np.int16 and raw.flags.c_contiguous
    fmt = frame.getFrameFormat()
    assert (fmt.width, fmt.height, fmt.type) == (240, 720, tdc.TOFOutput.RAW)
    assert camera.releaseFrame(frame) == OK


def test_same_object_for_a_live_buffer(depth_camera):
    seen = {}
    for _ in range(9):
        frame = request(depth_camera)
        seen.setdefault(id(frame), frame)
        depth_camera.releaseFrame(frame)
    assert len(seen) <= 3  # three buffers, each always the same Python object


def test_frames_dropped_without_release_exhaust_the_queue(depth_camera):
    for _ in range(3):
        request(depth_camera)  # dropped, not released: the camera counts them as held
    t0 = time.monotonic()
    assert depth_camera.requestFrame(200) is None
    assert 0.18 <= time.monotonic() - t0 < 1.0
    t0 = time.monotonic()
    assert depth_camera.requestFrame(0) is None
    assert time.monotonic() - t0 < 0.05


def test_release_twice_is_refused(depth_camera):
    frame = request(depth_camera)
    assert depth_camera.releaseFrame(frame) == OK
    assert depth_camera.releaseFrame(frame) == tdc.TOFErrorCode.TelmoraUnkownError


class TestStaleFrames:
    def test_use_after_release_raises(self, depth_camera):
        frame = request(depth_camera)
        depth_camera.releaseFrame(frame)
        for getter in (frame.getDepthData, frame.getConfidenceData, frame.getAmplitudeData, frame.getFrameFormat):
            with pytest.raises(RuntimeError, match="no longer valid"):
                getter()

    def test_use_after_restart_raises(self, depth_camera):
        frame = request(depth_camera)
        depth_camera.stop()
        frame.getDepthData()  # stop keeps held frames valid
        assert depth_camera.start(tdc.TOFOutput.RAW) == OK
        with pytest.raises(RuntimeError):
            frame.getDepthData()
        assert depth_camera.releaseFrame(frame) == tdc.TOFErrorCode.TelmoraUnkownError

    def test_use_after_camera_destroyed_raises(self, wall_config):
        cam = tdc.TelmoraCamera()
        cam.openWithFile(wall_config)
        cam.start(tdc.TOFOutput.DEPTH)
        frame = request(cam)
        cam.stop()
        cam.close()
        del cam
        with pytest.raises(RuntimeError):
            frame.getFrameFormat()

    def test_never_fires_on_correct_use(self, depth_camera):
        for _ in range(30):
            frame = request(depth_camera)
            frame.getDepthData()
            frame.getFrameFormat()
            assert depth_camera.releaseFrame(frame) == OK


def test_destroying_a_streaming_camera_is_safe(wall_config):
    cam = tdc.TelmoraCamera()
    cam.openWithFile(wall_config)
    cam.start(tdc.TOFOutput.DEPTH)
    request(cam)
    del cam  # no stop/close: the camera stops itself


def test_import_without_numpy_then_first_getter_raises(tmp_path):
    cfg = write_config(tmp_path, fps=0, scene="flat_wall")
    code = f"""
import sys
sys.modules['numpy'] = None  # numpy absent
import TelmoraDepthCamera as tdc
cam = tdc.TelmoraCamera()
assert cam.openWithFile({cfg!r}) == tdc.TOFErrorCode.TelmoraSuccess
cam.start(tdc.TOFOutput.DEPTH)
frame = cam.requestFrame(2000)
try:
    frame.getDepthData()
except ImportError:
    print('import error')
cam.releaseFrame(frame)
cam.stop(); cam.close()
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "import error"
