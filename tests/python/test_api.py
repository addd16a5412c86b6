"""The registered API: enumerations, records, frame classes, camera methods, stub file."""
import ast
import pathlib
import subprocess
import sys

import pytest

import TelmoraDepthCamera as tdc

ENUMS = {
    "TOFDeviceType": [("VGA", 0), ("HQVGA", 1)],
    "TOFOutput": [("RAW", 0), ("DEPTH", 2), ("CONFIDENCE", 1), ("CACHE", 4)],
    "TOFConnect": [("CSI", 0), ("USB", 1)],
    "TOFControl": [("RANGE", 0), ("FMT_WIDTH", 1), ("FMT_HEIGHT", 2), ("MODE", 3), ("FRAME_MODE", 4),
                   ("EXPOSURE", 5), ("FRAME_RATE", 6), ("SKIP_FRAME", 7), ("SKIP_FRAME_LOOP", 8),
                   ("CONFIG_DIR_EXT", 256)],
    "TofWorkMode": [(n, i) for i, n in enumerate(
        "SINGLE_FREQ DOUBLE_FREQ TRIPLE_FREQ QUAD_FREQ DISTANCE HDR AE BG_OUTDOOR GRAY_ONLY "
        "CUSTOM1 CUSTOM2 CUSTOM3".split())],
    "TofFrameWorkMode": [(n, i) for i, n in enumerate(
        "SINGLE_FREQ_2PHASE SINGLE_FREQ_4PHASE SINGLE_FREQ_4PHASE_GRAY SINGLE_FREQ_4PHASE_BG "
        "SINGLE_FREQ_4PHASE_4BG SINGLE_FREQ_4PHASE_GRAY_5BG SINGLE_FREQ_GRAY_BG_4PHASE_GRAY_BG "
        "SINGLE_FREQ_GRAY_BG_4PHASE_BG SINGLE_FREQ_BG_GRAY_BG_4PHASE SINGLE_FREQ_BG_4PHASE_BG_GRAY "
        "DOUBLE_FREQ_4PHASE DOUBLE_FREQ_4PHASE_GRAY_4PHASE_BG DOUBLE_FREQ_4PHASE_4BG "
        "DOUBLE_FREQ_4PHASE_GRAY_5BG TRIPLE_FREQ_4PHASE TRIPLE_FREQ_4PHASE_GRAY_4PHASE_GRAY_4PHASE_BG "
        "QUAD_FREQ_4PHASE QUAD_FREQ_4PHASE_GRAY_4PHASE_BG_4PHASE_GRAY_4PHASE_BG BG_OUTDOOR GRAY_ONLY "
        "CUSTOM".split())],
    "TOFErrorCode": [("TelmoraSuccess", 0), ("TelmoraInvalidParameter", 1), ("TelmoraNoCache", 2),
                     ("TelmoraUnkownDevice", 3), ("TelmoraNotImplemented", 4), ("TelmoraSkipFrame", 240),
                     ("TelmoraSystemError", -2), ("TelmoraUnkownError", -1)],
}


@pytest.mark.parametrize("name", list(ENUMS))
def test_enum_members_in_order_with_values(name):
    cls = getattr(tdc, name)
    assert [(k, int(v)) for k, v in cls.__members__.items()] == ENUMS[name]
    for member, value in ENUMS[name]:
        assert getattr(cls, member) == value
        assert cls(value) == getattr(cls, member)
        assert hash(getattr(cls, member)) == hash(value)


def test_module_contents_and_version():
    assert tdc.__version__ == "dev"
    assert tdc.__doc__ is None
    with pytest.raises(AttributeError):
        tdc.DEPTH  # members live on their class only
    assert not any(callable(v) and not isinstance(v, type) for k, v in vars(tdc).items()
                   if not k.startswith("__"))


@pytest.mark.parametrize("cls,value", [("TOFOutput", 3), ("TOFControl", 9)])
def test_native_only_values_have_no_member(cls, value):
    enum = getattr(tdc, cls)
    assert value not in [int(v) for v in enum.__members__.values()]
    assert enum(value).name == "???"


@pytest.mark.parametrize("cls,member,value", [("TofFrameWorkMode", "CUSTOM", 20), ("TofWorkMode", "CUSTOM3", 11),
                                              ("TOFControl", "CONFIG_DIR_EXT", 256)])
def test_int_conversion(cls, member, value):
    assert int(getattr(getattr(tdc, cls), member)) == value


@pytest.mark.parametrize("cls", ["TofWorkMode", "TofFrameWorkMode"])
def test_explicit_int_is_a_second_overload(cls):
    doc = getattr(tdc, cls).__int__.__doc__
    assert doc.count("__int__(") >= 2


@pytest.mark.parametrize("value,text", [(0, "Success"), (1, "Invalid parameter"), (2, "No cache"),
                                        (3, "Unkown device"), (4, "Not implemented"), (240, "Skip frame"),
                                        (-2, "System error"), (-1, "Unknown error"), (7, "Unknown error"),
                                        (-5, "Unknown error")])
def test_error_code_str(value, text):
    assert tdc.TOFErrorCode(value).str() == text


def test_unlisted_error_code_keeps_its_value():
    code = tdc.TOFErrorCode(-5)
    assert int(code) == -5 and code.name == "???"
    assert str(tdc.TOFErrorCode.TelmoraSuccess) != "Success"  # str() is the binding layer's own


@pytest.mark.parametrize("cls", ["TelmoraFrame", "RawData", "DepthData", "TelmoraFormat", "TelmoraInfo"])
def test_no_constructor(cls):
    with pytest.raises(TypeError) as e:
        getattr(tdc, cls)()
    assert str(e.value) == f"TelmoraDepthCamera.{cls}: No constructor defined!"


def test_frame_class_hierarchy():
    assert issubclass(tdc.RawData, tdc.TelmoraFrame)
    assert issubclass(tdc.DepthData, tdc.TelmoraFrame)
    assert not [n for n in vars(tdc.TelmoraFrame) if not n.startswith("_")]


DOCS = {
    "open": "Initialize the camera configuration and turn on the camera, set the initialization frame according "
            "to the mode.\n\n- mode Specify the connection method.\n- index Device node, the default value is video0.",
    "openWithFile": "Initialize the camera configuration and turn on the camera, set the initialization frame "
                    "according to the mode.\n\n- path Specify the config file path.\n- index Device node, the "
                    "default value is video0.",
    "close": "Close the camera", "start": "Start the camera stream and start processing.",
    "stop": "Stop camera stream and processing.", "setControl": "Set camera parameters.",
    "getControl": "Get camera parameters.", "getCameraInfo": "Get camera information.",
    "requestFrame": "Request a frame of data from the frame processing thread.",
    "releaseFrame": "Free the memory space of the frame.",
}


@pytest.mark.parametrize("method,doc", DOCS.items())
def test_camera_docstrings(method, doc):
    assert getattr(tdc.TelmoraCamera, method).__doc__.strip().endswith(doc)


@pytest.mark.parametrize("cls,method,doc", [
    ("RawData", "getRawData", "Get raw data from the frame"),
    ("RawData", "getFrameFormat", "Get the information of this frame"),
    ("DepthData", "getDepthData", "Get depth data from the frame"),
    ("DepthData", "getConfidenceData", "Get confidence data from the frame"),
    ("DepthData", "getAmplitudeData", "Get amplitude data from the frame"),
    ("DepthData", "getFrameFormat", "Get the information of this frame")])
def test_frame_docstrings(cls, method, doc):
    assert getattr(getattr(tdc, cls), method).__doc__.strip().endswith(doc)


@pytest.mark.parametrize("method,args", [("open", "mode, index"), ("openWithFile", "path, index"),
                                         ("start", "type"), ("setControl", "ctrl, value"),
                                         ("getControl", "ctrl"), ("requestFrame", "timeout"),
                                         ("releaseFrame", "frame")])
def test_argument_names(method, args):
    sig = getattr(tdc.TelmoraCamera, method).__doc__.splitlines()[0]
    names = [a.split(":")[0].strip() for a in sig[sig.index("(") + 1:sig.rindex(")")].split(",")[1:]]
    assert names == args.split(", ")


def test_record_attributes_in_order():
    assert [n for n in vars(tdc.TelmoraFormat) if not n.startswith("_")] == ["width", "height", "timestamp", "type"]
    assert [n for n in vars(tdc.TelmoraInfo) if not n.startswith("_")] == [
        "index", "connect", "device_type", "type", "width", "height", "bit_width", "bpp"]


def _stub_names():
    stub = pathlib.Path(tdc.__file__).with_name("TelmoraDepthCamera.pyi")
    tree = ast.parse(stub.read_text())
    names = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            names[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)} | {
                n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
    return names


def test_stub_matches_registered_api():
    stub = _stub_names()
    classes = {k for k, v in vars(tdc).items() if isinstance(v, type)}
    assert set(stub) == classes
    for cls in classes:
        public = {n for n in vars(getattr(tdc, cls)) if not n.startswith("_")}
        assert public <= stub[cls], (cls, public - stub[cls])


def test_import_does_not_import_numpy():
    code = "import sys, TelmoraDepthCamera; print('numpy' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"
