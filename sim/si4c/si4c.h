/*
 * libsi4c: depth processing for VGA-class time-of-flight sensors (640 x 480, 320 x 240).
 *
 * Raw capture layout
 * ------------------
 * One capture is a sequence of sub-frames, each (height + 1) lines of `width` little-endian
 * 16-bit words. Samples are 12 bits wide (0 .. 4095) in the low bits of each word; the upper
 * four bits are ignored. A sample of 4095 is saturated.
 *
 *   line 0 of a sub-frame: metadata
 *     word 0  sub-frame index (0 .. sub-frames - 1)
 *     word 1  modulation frequency in units of 100 kHz (SI4C_FREQ_A_CODE, SI4C_FREQ_B_CODE)
 *     word 2  frame counter, bits 0 .. 11
 *     word 3  frame counter, bits 12 .. 23
 *     other words 0
 *   lines 1 .. height: the image, row-major.
 *
 * Single-frequency mode: 5 sub-frames at frequency A (120 MHz): the phase images at 0, 90,
 * 180 and 270 degrees, then the ambient image. Two-frequency mode: the same five at
 * frequency A, then five at frequency B (100 MHz): 10 sub-frames. The raw height is thus
 * (height + 1) * 5 or (height + 1) * 10 lines.
 *
 * Sample model at a pixel at distance d with modulation amplitude A and ambient light G
 * (all in counts), phase phi = 4 pi f d / c:
 *   phase image k (k = 0..3):  black + G + A + A cos(phi - k pi / 2)
 *   ambient image:             black + G
 * with black = SI4C_BLACK_LEVEL. Frequency A alone is unambiguous to c / 2f = 1249 mm;
 * A and B together (greatest common divisor 20 MHz) to 7495 mm.
 *
 * Outputs (per pixel, width x height float32 each): depth in millimetres, modulation
 * amplitude in counts, confidence in [0, 1]. Invalid pixels (amplitude too weak for the
 * noise, a saturated sample, or a depth outside ValidDistMin .. ValidDistMax) get depth 0
 * and confidence 0; their amplitude is still reported.
 *
 * Configuration
 * -------------
 * SiSDKStart reads ConfigAlgorithm.json (INI-style "key=value" lines) from the directory
 * given to SiSDKSetConfig, or from the working directory when none was given. A directory
 * that was given but holds no readable file makes SiSDKStart fail; a missing file in the
 * working directory means the defaults below. Keys used (others are ignored):
 *   ValidDistMin, ValidDistMax      valid depth range in mm (default 0 .. 7000)
 *   SDenoiseLevel_Depth (0..5)      edge-preserving spatial filter on depth (default 3)
 *   TDenoiseLevel_Depth (0..5)      temporal filter on depth, reset where the scene moves (3)
 *   SDenoiseLevel_Gray, TDenoiseLevel_Gray (0..5)  the same for the amplitude plane (1, 1)
 * Level 0 turns a filter off.
 *
 * Calibration
 * -----------
 * SiSDKSetCaliData takes the binary format of si4c_calibration.hpp (magic, version,
 * per-frequency phase correction, optional per-pixel depth correction, CRC-32) and copies
 * what it needs: the caller may release the data after the call. Data that fails
 * validation is ignored with one line on stderr. SiSDKInit drops any calibration.
 *
 * Instances
 * ---------
 * SiSDKCreate makes an instance in single-frequency mode. SiSDKInit (640 x 480 or 320 x 240
 * only) sizes it and forgets calibration and configuration directory; the frequency mode
 * is kept. SiSDKStart reads the configuration, takes the current frequency mode for the
 * frames that follow and clears the temporal filter. A mode switched while running is
 * reported at once by SiSDKIsSingleFreq but processed from the next SiSDKStart, so the
 * capture size expected never changes under a running stream. Calls with a handle that is
 * not a live instance fail (or do nothing) and print one line on stderr.
 */
#ifndef SI4C_H
#define SI4C_H

#include <stdbool.h>
#include <stdint.h>

#define SI4C_SAMPLE_MAX 4095
#define SI4C_BLACK_LEVEL 64
#define SI4C_FREQ_A_CODE 1200 /* 120 MHz */
#define SI4C_FREQ_B_CODE 1000 /* 100 MHz */
#define SI4C_SUBFRAMES_PER_FREQ 5

#if defined(__GNUC__)
#define SI4C_API __attribute__((visibility("default")))
#else
#define SI4C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Creates an instance and stores it in *handle; false (and *handle untouched) on failure. */
SI4C_API bool SiSDKCreate(void** handle);
/* Sizes the instance for width x height output; only 640 x 480 and 320 x 240 are accepted. */
SI4C_API bool SiSDKInit(void* handle, int width, int height);
/* Hands over calibration data (see above); copied, not kept. */
SI4C_API bool SiSDKSetCaliData(void* handle, const void* data, uint32_t size);
/* Names the directory holding ConfigAlgorithm.json; null or "" means the working directory. */
SI4C_API bool SiSDKSetConfig(void* handle, const char* dir);
/* Reads the configuration and readies the instance for frames. */
SI4C_API bool SiSDKStart(void* handle);
SI4C_API bool SiSDKIsSingleFreq(void* handle);
SI4C_API bool SiSDKSetSingleFreq(void* handle, bool single);
/* Depth, amplitude and confidence (width x height each) from one capture laid out as above.
 * False for a capture whose metadata does not match the mode (the planes are then
 * unspecified), or before SiSDKStart. `raw` must be 2-byte aligned. */
SI4C_API bool SiSDKGetPhaseImage(void* handle, const uint8_t* raw, float* depth, float* amplitude,
                                 float* confidence);
/* Destroys *handle and sets it to null. */
SI4C_API bool SiSDKDestroy(void** handle);

#ifdef __cplusplus
}
#endif

#endif /* SI4C_H */
