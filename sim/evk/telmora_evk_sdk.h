/* libtelmora_evk_sdk: the USB evaluation-kit library's interface, and our software
 * implementation of it (a software time-of-flight camera, see README.md beside this file).
 *
 * The ten Telmora* calls and the byte offsets marked "fixed" in the three records are the
 * interface the camera library relies on; every other byte of the records is this library's own.
 * Results: 0 = success, non-zero = failure.
 *
 * The TelmoraSim* functions at the end are additions of the software camera for tests; the
 * maker's library has no such calls.
 */
#ifndef TELMORA_EVK_SDK_H
#define TELMORA_EVK_SDK_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define TELMORA_EVK_API __attribute__((visibility("default")))
#else
#define TELMORA_EVK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* TelmoraHandle;

/* Open parameters (32 bytes), filled with defaults by TelmoraDefaultParam. */
typedef struct TelmoraOpenParam {
    const char* config_path; /* fixed, offset 0: configuration file; "" (default) = none */
    uint32_t struct_size;    /* 8: sizeof(TelmoraOpenParam), set by TelmoraDefaultParam */
    uint32_t reserved0;      /* 12 */
    uint8_t binary_config;   /* fixed, offset 16: 1 = the configuration file is binary */
    uint8_t reserved1[15];   /* 17 .. 31 */
} TelmoraOpenParam;

/* Camera configuration (16 bytes), filled by TelmoraGetCameraConfig. */
typedef struct TelmoraCameraConfig {
    uint32_t width;          /* fixed, offset 0: image width in pixels */
    uint32_t height;         /* fixed, offset 4: image height in rows */
    uint8_t bits_per_sample; /* fixed, offset 8: 8 .. 16; 8 = one byte per sample, else
                                little-endian 16-bit words */
    uint8_t reserved[3];     /* 9 .. 11 */
    uint32_t fps;            /* 12: captures per second, 0 = unpaced */
} TelmoraCameraConfig;

/* One captured image (56 bytes), filled by TelmoraCaptureImage and handed back by value to
 * TelmoraFreeImage. */
typedef struct TelmoraImage {
    uint32_t sequence;  /* 0: image number since the camera started */
    uint32_t index;     /* 4: position of the image within its capture */
    uint64_t timestamp; /* fixed, offset 8: milliseconds since the camera was opened */
    uint32_t width;     /* 16 */
    uint32_t height;    /* 20 */
    uint32_t size;      /* fixed, offset 24: bytes of sample data */
    uint32_t bits;      /* 28: bits per sample */
    uint8_t* data;      /* fixed, offset 32: sample data, owned by the library until freed */
    uint64_t capture;   /* 40: capture number since the camera started */
    uint64_t reserved;  /* 48 */
} TelmoraImage;

TELMORA_EVK_API int TelmoraDefaultParam(TelmoraOpenParam* param);
TELMORA_EVK_API int TelmoraOpenCamera(TelmoraHandle* handle, TelmoraOpenParam* param);
TELMORA_EVK_API int TelmoraInitCamera(TelmoraHandle handle);
TELMORA_EVK_API int TelmoraGetCameraConfig(TelmoraHandle handle, TelmoraCameraConfig* config);
TELMORA_EVK_API int TelmoraStartCamera(TelmoraHandle handle);
/* Waits up to timeout_ms for the next image (a paced camera); fails at once when the camera is
 * not started. On success the image is held until TelmoraFreeImage. */
TELMORA_EVK_API int TelmoraCaptureImage(TelmoraHandle handle, TelmoraImage* image,
                                        uint32_t timeout_ms);
TELMORA_EVK_API int TelmoraFreeImage(TelmoraHandle handle, TelmoraImage image);
TELMORA_EVK_API int TelmoraStopCamera(TelmoraHandle handle);
TELMORA_EVK_API int TelmoraCloseCamera(TelmoraHandle handle);
TELMORA_EVK_API int TelmoraWriteSensorReg(TelmoraHandle handle, uint32_t reg, uint32_t value);

/* ---- Additions of the software camera, for tests ---------------------------------------- */

/* Images currently held (captured and not yet freed), over all cameras. */
TELMORA_EVK_API unsigned TelmoraSimHeldImages(void);
/* Number of calls of the library function `name` (e.g. "TelmoraStartCamera") since load. */
TELMORA_EVK_API unsigned TelmoraSimCallCount(const char* name);
/* The register writes received by `handle`, oldest first: copies at most `max` pairs and
 * returns how many writes there were in all. */
TELMORA_EVK_API size_t TelmoraSimRegisterLog(TelmoraHandle handle, uint32_t* regs,
                                             uint32_t* values, size_t max);
/* The simulated range mode of `handle`: 2000 (75 MHz) or 4000 (37.5 MHz); -1 for no camera. */
TELMORA_EVK_API int TelmoraSimRangeMode(TelmoraHandle handle);
/* Ground truth of capture `capture` of `handle`'s scene: width * height distances (mm, not
 * wrapped into the range) and amplitudes (as the HQVGA depth device reports them, noise 0,
 * 12-bit samples). Either pointer may be null. Fails (-1) for a test pattern. */
TELMORA_EVK_API int TelmoraSimGroundTruth(TelmoraHandle handle, uint64_t capture,
                                          float* distance_mm, float* amplitude);
/* The capture number of the most recent image that `handle` delivered with this timestamp,
 * or -1 when none of the last 256 images had it. */
TELMORA_EVK_API int64_t TelmoraSimCaptureOfTimestamp(TelmoraHandle handle, uint64_t timestamp);
/* A copy of the open-parameter record received by the last TelmoraOpenCamera call, and its
 * configuration path text (truncated to path_size - 1 bytes); -1 before any open. */
TELMORA_EVK_API int TelmoraSimLastOpenParam(TelmoraOpenParam* param, char* path,
                                            size_t path_size);

#ifdef __cplusplus
} /* extern "C" */

#include <cstddef>
static_assert(sizeof(TelmoraOpenParam) == 32, "open parameters are 32 bytes");
static_assert(offsetof(TelmoraOpenParam, config_path) == 0, "path at offset 0");
static_assert(offsetof(TelmoraOpenParam, binary_config) == 16, "binary flag at offset 16");
static_assert(sizeof(TelmoraCameraConfig) == 16, "camera configuration is 16 bytes");
static_assert(offsetof(TelmoraCameraConfig, width) == 0, "width at offset 0");
static_assert(offsetof(TelmoraCameraConfig, height) == 4, "height at offset 4");
static_assert(offsetof(TelmoraCameraConfig, bits_per_sample) == 8, "bits at offset 8");
static_assert(sizeof(TelmoraImage) == 56, "image record is 56 bytes");
static_assert(offsetof(TelmoraImage, timestamp) == 8, "timestamp at offset 8");
static_assert(offsetof(TelmoraImage, size) == 24, "size at offset 24");
static_assert(offsetof(TelmoraImage, data) == 32, "data at offset 32");
#else
#include <assert.h>
_Static_assert(sizeof(TelmoraOpenParam) == 32, "open parameters are 32 bytes");
_Static_assert(offsetof(TelmoraOpenParam, binary_config) == 16, "binary flag at offset 16");
_Static_assert(offsetof(TelmoraCameraConfig, bits_per_sample) == 8, "bits at offset 8");
_Static_assert(sizeof(TelmoraImage) == 56, "image record is 56 bytes");
_Static_assert(offsetof(TelmoraImage, timestamp) == 8, "timestamp at offset 8");
_Static_assert(offsetof(TelmoraImage, size) == 24, "size at offset 24");
_Static_assert(offsetof(TelmoraImage, data) == 32, "data at offset 32");
#endif

#endif /* TELMORA_EVK_SDK_H */
