"""The examples run end to end against the software camera."""
import pathlib
import subprocess
import sys

import numpy as np

from conftest import REPO, write_config

EXAMPLES = REPO / "examples"


def run(script, *args, cwd):
    out = subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True, text=True,
                         timeout=120, cwd=cwd)
    assert out.returncode == 0, out.stdout + out.stderr
    return out.stdout


def test_stream_depth_writes_png(tmp_path):
    cfg = write_config(tmp_path, fps=0)
    png = tmp_path / "d.png"
    out = run("stream_depth.py", "--frames", "40", "--output", str(png), "--config", cfg, cwd=tmp_path)
    data = png.read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n") and b"IHDR" in data[:40]
    assert int.from_bytes(data[16:20], "big") == 240 and int.from_bytes(data[20:24], "big") == 180
    assert "wrote" in out


def test_stream_depth_default_camera_reports_rate(tmp_path):
    out = run("stream_depth.py", "--frames", "45", "--output", str(tmp_path / "x.png"), cwd=tmp_path)
    assert "fps" in out and "centre" in out


def test_capture_raw_saves_frames(tmp_path):
    cfg = write_config(tmp_path, fps=0)
    target = tmp_path / "raw.npy"
    run("capture_raw.py", "--frames", "4", "--output", str(target), "--config", cfg, cwd=tmp_path)
    frames = np.load(target)
    assert frames.shape == (4, 720, 240) and frames.dtype == np.int16


def test_point_cloud_writes_ply(tmp_path):
    cfg = write_config(tmp_path, fps=0, scene="flat_wall", wall_mm=1500)
    target = tmp_path / "c.ply"
    run("point_cloud.py", "--output", str(target), "--config", cfg, cwd=tmp_path)
    lines = target.read_text().splitlines()
    assert lines[0] == "ply" and "element vertex 43200" in lines
    z = np.loadtxt(lines[lines.index("end_header") + 1:])[:, 2]
    assert np.allclose(z, 1.5, atol=0.003)
