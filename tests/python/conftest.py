import pathlib

import pytest

import TelmoraDepthCamera as tdc

REPO = pathlib.Path(__file__).resolve().parents[2]


def write_config(directory, **keys):
    """A software-camera configuration file from keyword arguments."""
    path = pathlib.Path(directory) / "camera.cfg"
    path.write_text("".join(f"{k} {v}\n" for k, v in keys.items()))
    return str(path)


@pytest.fixture
def wall_config(tmp_path):
    """Unpaced flat wall at 1000 mm with exact samples."""
    return write_config(tmp_path, fps=0, scene="flat_wall", wall_mm=1000, noise=0)


@pytest.fixture
def camera():
    cam = tdc.TelmoraCamera()
    yield cam
    cam.stop()
    cam.close()


@pytest.fixture
def depth_camera(camera, wall_config):
    assert camera.openWithFile(wall_config) == tdc.TOFErrorCode.TelmoraSuccess
    assert camera.start(tdc.TOFOutput.DEPTH) == tdc.TOFErrorCode.TelmoraSuccess
    return camera


@pytest.fixture(autouse=True)
def scratch_cwd(tmp_path, monkeypatch):
    """VGA starts write the depth library's configuration files into the working directory."""
    monkeypatch.chdir(tmp_path)
