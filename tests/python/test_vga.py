"""A software VGA-class camera through the module: depth of a flat wall and the raw capture."""
import numpy as np
import pytest

import TelmoraDepthCamera as tdc
from conftest import write_config

OK = tdc.TOFErrorCode.TelmoraSuccess


@pytest.fixture
def in_scratch_dir(tmp_path, monkeypatch):
    # The VGA device writes its configuration files into the working directory.
    monkeypatch.chdir(tmp_path)
    return tmp_path


@pytest.mark.parametrize("freq_mode,wall_mm,tolerance,raw_height", [
    ("single", 800, 3.0, 2405),
    ("double", 3000, 5.0, 4810),  # beyond the 1249 mm of one frequency
])
def test_vga_wall_depth_and_raw(camera, in_scratch_dir, freq_mode, wall_mm, tolerance, raw_height):
    path = write_config(in_scratch_dir, fps=0, sensor="vga", freq_mode=freq_mode, scene="flat_wall",
                        wall_mm=wall_mm, noise=0)
    assert camera.openWithFile(path) == OK
    info = camera.getCameraInfo()
    assert (info.device_type, info.width, info.height) == (tdc.TOFDeviceType.VGA, 640, raw_height)
    if freq_mode == "double":
        assert camera.setControl(tdc.TOFControl.MODE, int(tdc.TofWorkMode.DOUBLE_FREQ)) == OK
    assert camera.start(tdc.TOFOutput.DEPTH) == OK
    for _ in range(2):
        frame = camera.requestFrame(3000)
        assert isinstance(frame, tdc.DepthData)
        depth = frame.getDepthData()
        confidence = frame.getConfidenceData()
        camera.releaseFrame(frame)
        assert depth.shape == (480, 640) and depth.dtype == np.float32
        assert np.abs(depth - wall_mm).max() <= tolerance
        assert confidence.min() > 0

    assert camera.stop() == OK
    assert camera.start(tdc.TOFOutput.RAW) == OK
    frame = camera.requestFrame(3000)
    assert isinstance(frame, tdc.RawData)
    raw = frame.getRawData()
    camera.releaseFrame(frame)
    assert raw.shape == (raw_height, 640)
    # Every sub-frame opens with its metadata line: index, then frequency in 100 kHz.
    subs = raw.reshape(-1, 481, 640)
    assert subs[:, 0, 0].tolist() == list(range(len(subs)))
    assert set(subs[:, 0, 1].tolist()) == ({1200} if freq_mode == "single" else {1200, 1000})
