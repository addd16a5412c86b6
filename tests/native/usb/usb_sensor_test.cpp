// The USB sensor against the software camera library: open, the binary flag, start/stop,
// capture gathering, sample conversions, regrouping, wrong sizes and the range registers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sensor/usb_sensor.hpp"
#include "telmora_evk_sdk.h"

using namespace Telmora;

namespace {

std::string writeConfig(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

CameraInfo callerInfo() {
    CameraInfo info{};
    info.index = 7;
    info.connect = USB;
    info.device_type = VGA;
    info.type = RAW;
    return info;
}

uint16_t wordAt(const std::vector<uint8_t>& cache, size_t byte) {
    return static_cast<uint16_t>(cache[byte] | (cache[byte + 1] << 8));
}

// An opened and started sensor on a configuration text.
struct Rig {
    TelmoraTOFUSBSensor sensor;
    CameraInfo info = callerInfo();
    explicit Rig(const std::string& text, const std::string& file = "usb_test.cfg")
        : sensor(writeConfig(file, text)) {}
    ~Rig() {
        if (sensor.started) sensor.stop();
        sensor.close();
    }
    size_t imageSamples() const { return static_cast<size_t>(info.width) * info.height; }
};

}  // namespace

TEST(UsbSensor, Construction) {
    TelmoraTOFUSBSensor s;
    EXPECT_EQ(s.frame_count, 1);
    EXPECT_EQ(s.handle, nullptr);
    EXPECT_FALSE(s.started);
    EXPECT_EQ(s.config_path, "");
    TelmoraTOFUSBSensor t("a.cfg");
    EXPECT_EQ(t.config_path, "a.cfg");
    EXPECT_EQ(sizeof(s.image), 56u);
}

TEST(UsbSensor, OpenWithoutConfigurationIsTheDefaultCamera) {
    TelmoraTOFUSBSensor s;
    CameraInfo info = callerInfo();
    ASSERT_EQ(s.open(info), 0);
    EXPECT_NE(s.handle, nullptr);
    EXPECT_EQ(info.width, 240u);
    EXPECT_EQ(info.height, 180u);
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    EXPECT_EQ(info.index, 7u);
    EXPECT_EQ(info.connect, USB);
    const CameraInfo kept = s.getCameraInfo();
    EXPECT_EQ(std::memcmp(&kept, &info, sizeof info), 0);

    // The record reached the library as TelmoraDefaultParam filled it.
    TelmoraOpenParam seen, fresh;
    ASSERT_EQ(TelmoraSimLastOpenParam(&seen, nullptr, 0), 0);
    TelmoraDefaultParam(&fresh);
    EXPECT_EQ(std::memcmp(&seen, &fresh, sizeof seen), 0);
    EXPECT_EQ(s.close(), 0);
    EXPECT_EQ(s.handle, nullptr);
    EXPECT_EQ(s.close(), 0);  // a second close does nothing
}

TEST(UsbSensor, OpenFillsTheFormat) {
    struct Case {
        int bits;
        uint32_t bpp;
    };
    for (Case c : {Case{8, 1}, Case{9, 2}, Case{10, 2}, Case{12, 2}, Case{14, 2}, Case{16, 2}}) {
        Rig rig("width 64\nheight 48\nbits " + std::to_string(c.bits) + "\n");
        ASSERT_EQ(rig.sensor.open(rig.info), 0) << c.bits;
        EXPECT_EQ(rig.info.width, 64u);
        EXPECT_EQ(rig.info.height, 48u);
        EXPECT_EQ(rig.info.bit_width, static_cast<uint32_t>(c.bits));
        EXPECT_EQ(rig.info.bpp, c.bpp) << c.bits;
        EXPECT_EQ(rig.sensor.getCameraInfo().bpp, c.bpp);
    }
}

TEST(UsbSensor, BinaryFlagFollowsThePathEnding) {
    writeConfig("cam.bin", "width 64\n");
    writeConfig("cam.BIN", "width 64\n");
    writeConfig("cam.txt", "width 64\n");
    writeConfig("bin", "width 64\n");
    writeConfig("xbin", "width 64\n");
    struct Case {
        const char* path;
        int flag;
    };
    for (Case c : {Case{"cam.bin", 1}, Case{"cam.BIN", 0}, Case{"cam.txt", 0}, Case{"bin", 0},
                   Case{"xbin", 0}}) {
        TelmoraTOFUSBSensor s(c.path);
        CameraInfo info = callerInfo();
        testing::internal::CaptureStderr();
        const int r = s.open(info);
        testing::internal::GetCapturedStderr();
        TelmoraOpenParam seen;
        char path[64];
        ASSERT_EQ(TelmoraSimLastOpenParam(&seen, path, sizeof path), 0);
        EXPECT_STREQ(path, c.path);
        EXPECT_EQ(seen.binary_config, c.flag) << c.path;
        // The software camera refuses binary files for now; text files open.
        EXPECT_EQ(r, c.flag ? -1 : 0) << c.path;
        if (c.flag) {
            EXPECT_EQ(info.width, 0u) << "the caller's record is left unchanged";
            EXPECT_EQ(s.handle, nullptr);
        } else {
            EXPECT_EQ(info.width, 64u);
        }
        s.close();
    }
}

TEST(UsbSensor, OpenFailures) {
    {
        Rig rig("fail_open\n");
        EXPECT_EQ(rig.sensor.open(rig.info), -1);
        EXPECT_EQ(rig.sensor.handle, nullptr);
        EXPECT_EQ(rig.info.width, 0u);
    }
    {
        Rig rig("fail_init\n");
        EXPECT_EQ(rig.sensor.open(rig.info), -1);
        EXPECT_NE(rig.sensor.handle, nullptr) << "close releases it";
        EXPECT_EQ(rig.info.width, 0u);
        rig.sensor.close();
        EXPECT_EQ(rig.sensor.handle, nullptr);
    }
    {
        TelmoraTOFUSBSensor s("does/not/exist.cfg");
        CameraInfo info = callerInfo();
        testing::internal::CaptureStderr();
        EXPECT_EQ(s.open(info), -1);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("does/not/exist.cfg"),
                  std::string::npos);
    }
}

TEST(UsbSensor, StartAndStop) {
    Rig rig("fps 0\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    const unsigned starts = TelmoraSimCallCount("TelmoraStartCamera");
    EXPECT_EQ(rig.sensor.start(), 0);
    EXPECT_TRUE(rig.sensor.started);
    EXPECT_EQ(rig.sensor.start(), -1);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraStartCamera"), starts + 1) << "no library call";
    EXPECT_EQ(rig.sensor.stop(), 0);
    EXPECT_FALSE(rig.sensor.started);
    EXPECT_EQ(rig.sensor.stop(), 0) << "whatever the library answers";
    EXPECT_EQ(rig.sensor.start(), 0);
}

TEST(UsbSensor, FailedLibraryStartLeavesTheFlagSet) {
    Rig rig("fail_start\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    const unsigned starts = TelmoraSimCallCount("TelmoraStartCamera");
    EXPECT_EQ(rig.sensor.start(), -1);
    EXPECT_TRUE(rig.sensor.started);
    EXPECT_EQ(rig.sensor.start(), -1);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraStartCamera"), starts + 1);
    rig.sensor.stop();
    EXPECT_FALSE(rig.sensor.started);
}

TEST(UsbSensor, GetFrameWhileStoppedWritesNothing) {
    Rig rig("fps 0\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0x5A);
    uint64_t ts = 999;
    const unsigned captures = TelmoraSimCallCount("TelmoraCaptureImage");
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    EXPECT_EQ(ts, 999u);
    EXPECT_EQ(cache[0], 0x5A);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraCaptureImage"), captures);

    rig.sensor.start();
    rig.sensor.frame_count = 0;
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    EXPECT_EQ(ts, 999u);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraCaptureImage"), captures);
}

// The ramp pattern: sample i of the library's image m is (i + 17 m) mod 2^bits. With
// frame_count 4 the images 0..3 land at byte offsets 0, 2S, 4S, 6S (S samples per image),
// converted to 12 significant bits.
TEST(UsbSensor, FourImagesLandScaledToTwelveBits) {
    struct Case {
        int bits;
        int shift;  // > 0: left shift; < 0: right shift
        uint16_t largest;
    };
    for (Case c : {Case{8, 4, 4080}, Case{10, 2, 4092}, Case{12, 0, 4095}, Case{14, -2, 4095},
                   Case{16, -4, 4095}}) {
        SCOPED_TRACE(c.bits);
        Rig rig("fps 0\nscene ramp\nwidth 256\nheight 256\nbits " + std::to_string(c.bits) + "\n");
        ASSERT_EQ(rig.sensor.open(rig.info), 0);
        rig.sensor.frame_count = 4;
        ASSERT_EQ(rig.sensor.start(), 0);
        const size_t S = rig.imageSamples();
        std::vector<uint8_t> cache(8 * S, 0);
        uint64_t ts = 0;
        ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
        const uint32_t mask = (1u << c.bits) - 1;
        uint16_t largest = 0;
        for (uint32_t m = 0; m < 4; ++m) {
            const size_t base = 2 * S * m;
            for (size_t i = 0; i < S; ++i) {
                const uint32_t v = (static_cast<uint32_t>(i) + 17 * m) & mask;
                const uint16_t expect = static_cast<uint16_t>(c.shift >= 0 ? v << c.shift
                                                                           : v >> -c.shift);
                const uint16_t got = wordAt(cache, base + 2 * i);
                ASSERT_EQ(got, expect) << "image " << m << " sample " << i;
                largest = std::max(largest, got);
            }
        }
        EXPECT_EQ(largest, c.largest);
        EXPECT_EQ(TelmoraSimHeldImages(), 0u);
        // The second capture continues with images 4..7.
        ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
        EXPECT_EQ(wordAt(cache, 0), static_cast<uint16_t>(c.shift >= 0 ? ((17 * 4) & mask) << c.shift
                                                                       : ((17 * 4) & mask) >> -c.shift));
    }
}

TEST(UsbSensor, TwelveBitImagesAreCopiedByteForByte) {
    Rig rig("fps 0\nscene flat_wall\nnoise 5\nwidth 32\nheight 16\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 1;
    rig.sensor.start();
    std::vector<uint8_t> cache(2 * rig.imageSamples());
    uint64_t ts = 0;
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    // The same image straight from a second camera with the same configuration.
    TelmoraOpenParam p;
    TelmoraDefaultParam(&p);
    p.config_path = "usb_test.cfg";
    TelmoraHandle h = nullptr;
    ASSERT_EQ(TelmoraOpenCamera(&h, &p), 0);
    TelmoraInitCamera(h);
    TelmoraStartCamera(h);
    TelmoraImage img;
    ASSERT_EQ(TelmoraCaptureImage(h, &img, 100), 0);
    ASSERT_EQ(img.size, cache.size());
    EXPECT_EQ(std::memcmp(img.data, cache.data(), cache.size()), 0);
    TelmoraFreeImage(h, img);
    TelmoraCloseCamera(h);
}

// In the tests below 12-bit ramp images are copied unchanged, so the first sample of each
// place in the cache (17 m) tells which library image m landed there.
TEST(UsbSensor, TimestampGapRegroupsTheCapture) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\ntimestamps 100 103 120 121 122 123\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    const unsigned calls = TelmoraSimCallCount("TelmoraCaptureImage");
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0);
    uint64_t ts = 0;
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    EXPECT_EQ(ts, 123u);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraCaptureImage"), calls + 6);
    // The capture is the library's images 2..5 (stamped 120..123), in that order.
    for (uint32_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(wordAt(cache, 2 * rig.imageSamples() * slot), 17 * (slot + 2)) << slot;
    }
}

TEST(UsbSensor, TimestampGoingBackwardsRestarts) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\ntimestamps 100 101 50 51 52 53\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0);
    uint64_t ts = 0;
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    EXPECT_EQ(ts, 53u);
    EXPECT_EQ(wordAt(cache, 0), 17 * 2);
}

TEST(UsbSensor, InjectedGapSplitsACapture) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\ntimestamp_gap_at 3\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    const unsigned calls = TelmoraSimCallCount("TelmoraCaptureImage");
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0);
    uint64_t ts = 0;
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    // The gap before the third image restarts the capture there; the 10 ms gap before the
    // next capture's first image restarts it again, so the sensor delivers images 4..7 whole.
    EXPECT_EQ(TelmoraSimCallCount("TelmoraCaptureImage") - calls, 8u);
    for (uint32_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(wordAt(cache, 2 * rig.imageSamples() * slot), 17 * (slot + 4)) << slot;
    }
}

TEST(UsbSensor, GapsBetweenCapturesDoNotSplitThem) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0);
    uint64_t ts1 = 0, ts2 = 0;
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts1), 0);
    ASSERT_EQ(rig.sensor.getFrame(cache.data(), &ts2), 0);
    EXPECT_EQ(ts2 - ts1, 10u);
    EXPECT_EQ(wordAt(cache, 0), 17 * 4);
}

TEST(UsbSensor, WrongSizeImageFailsAndIsFreed) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\nwrong_size_at 2\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    std::vector<uint8_t> cache(8 * rig.imageSamples(), 0);
    uint64_t ts = 0;
    const unsigned frees = TelmoraSimCallCount("TelmoraFreeImage");
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), -1);
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraFreeImage"), frees + 2);
    EXPECT_EQ(ts, 0u) << "written after the first image, not after the wrong one";
    // The stream goes on.
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
}

TEST(UsbSensor, FailedCaptureFailsTheCaptureAndTheStreamGoesOn) {
    Rig rig("fps 0\nscene ramp\nwidth 16\nheight 4\ncapture_fails_at 2\n");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    rig.sensor.frame_count = 4;
    rig.sensor.start();
    const size_t S = rig.imageSamples();
    std::vector<uint8_t> cache(8 * S, 0xEE);
    uint64_t ts = 0;
    // Image 1 is lost: a capture with a hole would mix in an older capture's images.
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), -1);
    // The broken capture's last images are passed over by timestamp: the next whole
    // capture is images 4 to 7.
    EXPECT_EQ(rig.sensor.getFrame(cache.data(), &ts), 0);
    for (int m = 0; m < 4; ++m) EXPECT_EQ(wordAt(cache, 2 * m * S), 17 * (m + 4)) << "image " << m + 4;
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
}

TEST(UsbSensor, Controls) {
    Rig rig("");
    ASSERT_EQ(rig.sensor.open(rig.info), 0);
    int32_t value = 1234;
    for (CameraCtrl c : {RANGE, FMT_WIDTH, EXPOSURE, FRAME_RATE, CONFIG_DIR_EXT}) {
        EXPECT_EQ(rig.sensor.getControl(c, &value), 4);
        EXPECT_EQ(value, 1234);
    }
    EXPECT_EQ(rig.sensor.setControl(FRAME_RATE, 10), 1);
    EXPECT_EQ(rig.sensor.setControl(EXPOSURE, 10), 1);
    EXPECT_EQ(TelmoraSimRegisterLog(rig.sensor.handle, nullptr, nullptr, 0), 0u);

    EXPECT_EQ(rig.sensor.setControl(RANGE, 2000), 0);
    EXPECT_EQ(TelmoraSimRangeMode(rig.sensor.handle), 2000);
    uint32_t regs[16], vals[16];
    ASSERT_EQ(TelmoraSimRegisterLog(rig.sensor.handle, regs, vals, 16), 4u);
    const uint32_t want_regs[] = {0x216C, 0x2179, 0x217A, 0x217B};
    const uint32_t want_2000[] = {0x08, 0x0A, 0x0E, 0x12};
    const uint32_t want_other[] = {0x10, 0x0E, 0x16, 0x1E};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(regs[i], want_regs[i]);
        EXPECT_EQ(vals[i], want_2000[i]);
    }
    EXPECT_EQ(rig.sensor.setControl(RANGE, 4000), 0);
    EXPECT_EQ(rig.sensor.setControl(RANGE, 3000), 0);
    ASSERT_EQ(TelmoraSimRegisterLog(rig.sensor.handle, regs, vals, 16), 12u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(regs[4 + i], want_regs[i % 4]);
        EXPECT_EQ(vals[4 + i], want_other[i % 4]);
    }
    EXPECT_EQ(TelmoraSimRangeMode(rig.sensor.handle), 4000);
}
