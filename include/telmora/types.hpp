// Vocabulary of the native camera interface: status codes, enumerations and records.
#pragma once

#include <cstdint>

#define TELMORA_API __attribute__((visibility("default")))

namespace Telmora {

enum TofErrorCode : int32_t {
    TelmoraSuccess = 0,
    TelmoraInvalidParameter = 1,
    TelmoraNoCache = 2,
    TelmoraUnkownDevice = 3,
    TelmoraNotImplemented = 4,
    TelmoraSkipFrame = 240,
    TelmoraSystemError = -2,
    TelmoraUnkownError = -1,
};

enum Connection : int32_t {
    CSI = 0,
    USB = 1,
};

enum DeviceType : int32_t {
    VGA = 0,
    HQVGA = 1,
};

enum FrameType : int32_t {
    RAW = 0,
    CONFIDENCE = 1,
    DEPTH = 2,
    AMPLITUDE = 3,
    CACHE = 4,
};

enum CameraCtrl : int32_t {
    RANGE = 0,
    FMT_WIDTH = 1,
    FMT_HEIGHT = 2,
    MODE = 3,
    FRAME_MODE = 4,
    EXPOSURE = 5,
    FRAME_RATE = 6,
    SKIP_FRAME = 7,
    SKIP_FRAME_LOOP = 8,
    AUTO_FRAME_RATE = 9,
    CONFIG_DIR_EXT = 256,
};

enum TofWorkMode : int32_t {
    SINGLE_FREQ = 0,
    DOUBLE_FREQ = 1,
    TRIPLE_FREQ = 2,
    QUAD_FREQ = 3,
    DISTANCE = 4,
    HDR = 5,
    AE = 6,
    BG_OUTDOOR = 7,
    GRAY_ONLY = 8,
    CUSTOM1 = 9,
    CUSTOM2 = 10,
    CUSTOM3 = 11,
};

// A plain enumeration in a namespace of its own, since several names repeat those of
// TofWorkMode; reach its values as TofFrameWorkMode::NAME.
namespace frame_work_mode {
enum TofFrameWorkMode : int32_t {
    SINGLE_FREQ_2PHASE = 0,
    SINGLE_FREQ_4PHASE = 1,
    SINGLE_FREQ_4PHASE_GRAY = 2,
    SINGLE_FREQ_4PHASE_BG = 3,
    SINGLE_FREQ_4PHASE_4BG = 4,
    SINGLE_FREQ_4PHASE_GRAY_5BG = 5,
    SINGLE_FREQ_GRAY_BG_4PHASE_GRAY_BG = 6,
    SINGLE_FREQ_GRAY_BG_4PHASE_BG = 7,
    SINGLE_FREQ_BG_GRAY_BG_4PHASE = 8,
    SINGLE_FREQ_BG_4PHASE_BG_GRAY = 9,
    DOUBLE_FREQ_4PHASE = 10,
    DOUBLE_FREQ_4PHASE_GRAY_4PHASE_BG = 11,
    DOUBLE_FREQ_4PHASE_4BG = 12,
    DOUBLE_FREQ_4PHASE_GRAY_5BG = 13,
    TRIPLE_FREQ_4PHASE = 14,
    TRIPLE_FREQ_4PHASE_GRAY_4PHASE_GRAY_4PHASE_BG = 15,
    QUAD_FREQ_4PHASE = 16,
    QUAD_FREQ_4PHASE_GRAY_4PHASE_BG_4PHASE_GRAY_4PHASE_BG = 17,
    BG_OUTDOOR = 18,
    GRAY_ONLY = 19,
    CUSTOM = 20,
};
}  // namespace frame_work_mode
using frame_work_mode::TofFrameWorkMode;

struct CameraInfo {
    uint32_t index;
    Connection connect;
    DeviceType device_type;
    FrameType type;
    uint32_t width;
    uint32_t height;
    uint32_t bit_width;
    uint32_t bpp;
};

struct FrameDataFormat {
    uint32_t width;
    uint32_t height;
    FrameType type;
    uint64_t timestamp;
};

// Raw and output sizes a depth device reports; `tag` is copied, never interpreted.
struct FrameSize {
    int32_t tag;
    int32_t width;
    int32_t height;
};

// Board family, detected once per camera from the device-tree model text.
enum Platform : int32_t {
    PLATFORM_UNKNOWN = 0,
    PLATFORM_JETSON_NANO = 2,
    PLATFORM_JETSON = 3,
    PLATFORM_RASPBERRY_PI = 5,
    PLATFORM_RASPBERRY_PI_5 = 6,
    PLATFORM_RADXA_ROCK = 7,
};

// Static text for a status code; "Unknown error" for codes outside the table.
TELMORA_API const char* to_str(TofErrorCode code);

}  // namespace Telmora
