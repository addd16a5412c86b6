"""Type stub of the TelmoraDepthCamera extension module."""
from typing import ClassVar, Dict, Optional, Union, overload

import numpy

__version__: str

class TOFDeviceType:
    VGA: ClassVar[TOFDeviceType]
    HQVGA: ClassVar[TOFDeviceType]
    __members__: ClassVar[Dict[str, TOFDeviceType]]
    def __init__(self, value: int) -> None: ...
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TOFOutput:
    RAW: ClassVar[TOFOutput]
    DEPTH: ClassVar[TOFOutput]
    CONFIDENCE: ClassVar[TOFOutput]
    CACHE: ClassVar[TOFOutput]
    __members__: ClassVar[Dict[str, TOFOutput]]
    def __init__(self, value: int) -> None: ...
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TOFConnect:
    CSI: ClassVar[TOFConnect]
    USB: ClassVar[TOFConnect]
    __members__: ClassVar[Dict[str, TOFConnect]]
    def __init__(self, value: int) -> None: ...
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TOFControl:
    RANGE: ClassVar[TOFControl]
    FMT_WIDTH: ClassVar[TOFControl]
    FMT_HEIGHT: ClassVar[TOFControl]
    MODE: ClassVar[TOFControl]
    FRAME_MODE: ClassVar[TOFControl]
    EXPOSURE: ClassVar[TOFControl]
    FRAME_RATE: ClassVar[TOFControl]
    SKIP_FRAME: ClassVar[TOFControl]
    SKIP_FRAME_LOOP: ClassVar[TOFControl]
    CONFIG_DIR_EXT: ClassVar[TOFControl]
    __members__: ClassVar[Dict[str, TOFControl]]
    def __init__(self, value: int) -> None: ...
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TofWorkMode:
    SINGLE_FREQ: ClassVar[TofWorkMode]
    DOUBLE_FREQ: ClassVar[TofWorkMode]
    TRIPLE_FREQ: ClassVar[TofWorkMode]
    QUAD_FREQ: ClassVar[TofWorkMode]
    DISTANCE: ClassVar[TofWorkMode]
    HDR: ClassVar[TofWorkMode]
    AE: ClassVar[TofWorkMode]
    BG_OUTDOOR: ClassVar[TofWorkMode]
    GRAY_ONLY: ClassVar[TofWorkMode]
    CUSTOM1: ClassVar[TofWorkMode]
    CUSTOM2: ClassVar[TofWorkMode]
    CUSTOM3: ClassVar[TofWorkMode]
    __members__: ClassVar[Dict[str, TofWorkMode]]
    def __init__(self, value: int) -> None: ...
    @overload
    def __int__(self) -> int: ...
    @overload
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TofFrameWorkMode:
    SINGLE_FREQ_2PHASE: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_4PHASE: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_4PHASE_GRAY: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_4PHASE_BG: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_4PHASE_4BG: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_4PHASE_GRAY_5BG: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_GRAY_BG_4PHASE_GRAY_BG: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_GRAY_BG_4PHASE_BG: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_BG_GRAY_BG_4PHASE: ClassVar[TofFrameWorkMode]
    SINGLE_FREQ_BG_4PHASE_BG_GRAY: ClassVar[TofFrameWorkMode]
    DOUBLE_FREQ_4PHASE: ClassVar[TofFrameWorkMode]
    DOUBLE_FREQ_4PHASE_GRAY_4PHASE_BG: ClassVar[TofFrameWorkMode]
    DOUBLE_FREQ_4PHASE_4BG: ClassVar[TofFrameWorkMode]
    DOUBLE_FREQ_4PHASE_GRAY_5BG: ClassVar[TofFrameWorkMode]
    TRIPLE_FREQ_4PHASE: ClassVar[TofFrameWorkMode]
    TRIPLE_FREQ_4PHASE_GRAY_4PHASE_GRAY_4PHASE_BG: ClassVar[TofFrameWorkMode]
    QUAD_FREQ_4PHASE: ClassVar[TofFrameWorkMode]
    QUAD_FREQ_4PHASE_GRAY_4PHASE_BG_4PHASE_GRAY_4PHASE_BG: ClassVar[TofFrameWorkMode]
    BG_OUTDOOR: ClassVar[TofFrameWorkMode]
    GRAY_ONLY: ClassVar[TofFrameWorkMode]
    CUSTOM: ClassVar[TofFrameWorkMode]
    __members__: ClassVar[Dict[str, TofFrameWorkMode]]
    def __init__(self, value: int) -> None: ...
    @overload
    def __int__(self) -> int: ...
    @overload
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TOFErrorCode:
    TelmoraSuccess: ClassVar[TOFErrorCode]
    TelmoraInvalidParameter: ClassVar[TOFErrorCode]
    TelmoraNoCache: ClassVar[TOFErrorCode]
    TelmoraUnkownDevice: ClassVar[TOFErrorCode]
    TelmoraNotImplemented: ClassVar[TOFErrorCode]
    TelmoraSkipFrame: ClassVar[TOFErrorCode]
    TelmoraSystemError: ClassVar[TOFErrorCode]
    TelmoraUnkownError: ClassVar[TOFErrorCode]
    __members__: ClassVar[Dict[str, TOFErrorCode]]
    def __init__(self, value: int) -> None: ...
    def str(self) -> str: ...
    def __int__(self) -> int: ...
    def __index__(self) -> int: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...

class TelmoraFormat:
    width: int
    height: int
    timestamp: int
    type: TOFOutput

class TelmoraInfo:
    index: int
    connect: TOFConnect
    device_type: TOFDeviceType
    type: TOFOutput
    width: int
    height: int
    bit_width: int
    bpp: int

class TelmoraFrame: ...

class RawData(TelmoraFrame):
    def getRawData(self) -> numpy.ndarray:
        """Get raw data from the frame"""
    def getFrameFormat(self) -> TelmoraFormat:
        """Get the information of this frame"""

class DepthData(TelmoraFrame):
    def getDepthData(self) -> numpy.ndarray:
        """Get depth data from the frame"""
    def getConfidenceData(self) -> numpy.ndarray:
        """Get confidence data from the frame"""
    def getAmplitudeData(self) -> numpy.ndarray:
        """Get amplitude data from the frame"""
    def getFrameFormat(self) -> TelmoraFormat:
        """Get the information of this frame"""

class TelmoraCamera:
    def __init__(self) -> None: ...
    def open(self, mode: TOFConnect, index: int = 0) -> TOFErrorCode:
        """Initialize the camera configuration and turn on the camera, set the initialization frame according to the mode."""
    def openWithFile(self, path: Optional[Union[str, bytes]], index: int = 0) -> TOFErrorCode:
        """Initialize the camera configuration and turn on the camera, set the initialization frame according to the mode."""
    def close(self) -> TOFErrorCode:
        """Close the camera"""
    def start(self, type: TOFOutput) -> TOFErrorCode:
        """Start the camera stream and start processing."""
    def stop(self) -> TOFErrorCode:
        """Stop camera stream and processing."""
    def setControl(self, ctrl: TOFControl, value: int) -> TOFErrorCode:
        """Set camera parameters."""
    def getControl(self, ctrl: TOFControl) -> int:
        """Get camera parameters."""
    def getCameraInfo(self) -> TelmoraInfo:
        """Get camera information."""
    def requestFrame(self, timeout: int) -> Optional[TelmoraFrame]:
        """Request a frame of data from the frame processing thread."""
    def releaseFrame(self, frame: Optional[TelmoraFrame]) -> TOFErrorCode:
        """Free the memory space of the frame."""
