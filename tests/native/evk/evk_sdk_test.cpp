// The software USB camera through its C interface: configuration, pacing, timestamps,
// held images, registers, faults and ground truth.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "telmora_evk_sdk.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string writeConfig(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

// Opens a camera on a configuration text (empty: no configuration file).
TelmoraHandle openWith(const std::string& text, const std::string& name = "evk_test.cfg") {
    TelmoraOpenParam param;
    TelmoraDefaultParam(&param);
    std::string path;
    if (!text.empty()) {
        path = writeConfig(name, text);
        param.config_path = path.c_str();
    }
    TelmoraHandle h = nullptr;
    if (TelmoraOpenCamera(&h, &param) != 0) return nullptr;
    return h;
}

TelmoraHandle openStarted(const std::string& text) {
    TelmoraHandle h = openWith(text);
    if (h == nullptr) return nullptr;
    if (TelmoraInitCamera(h) != 0 || TelmoraStartCamera(h) != 0) {
        TelmoraCloseCamera(h);
        return nullptr;
    }
    return h;
}

// Captures one image and frees it; returns the capture result and the record.
int grab(TelmoraHandle h, TelmoraImage& img, uint32_t timeout = 2000) {
    const int r = TelmoraCaptureImage(h, &img, timeout);
    if (r == 0) TelmoraFreeImage(h, img);
    return r;
}

std::string stderrOfOpen(const std::string& path, int& result, bool binary = false) {
    TelmoraOpenParam param;
    TelmoraDefaultParam(&param);
    param.config_path = path.c_str();
    param.binary_config = binary ? 1 : 0;
    TelmoraHandle h = nullptr;
    testing::internal::CaptureStderr();
    result = TelmoraOpenCamera(&h, &param);
    const std::string err = testing::internal::GetCapturedStderr();
    if (result == 0) TelmoraCloseCamera(h);
    return err;
}

int countLines(const std::string& s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

}  // namespace

TEST(EvkSdk, DefaultParam) {
    TelmoraOpenParam p;
    std::memset(&p, 0xAB, sizeof(p));
    EXPECT_EQ(TelmoraDefaultParam(&p), 0);
    ASSERT_NE(p.config_path, nullptr);
    EXPECT_STREQ(p.config_path, "");
    EXPECT_EQ(p.binary_config, 0);
    EXPECT_EQ(p.struct_size, 32u);
}

TEST(EvkSdk, DefaultCamera) {
    TelmoraHandle h = openWith("");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TelmoraInitCamera(h), 0);
    TelmoraCameraConfig cfg;
    EXPECT_EQ(TelmoraGetCameraConfig(h, &cfg), 0);
    EXPECT_EQ(cfg.width, 240u);
    EXPECT_EQ(cfg.height, 180u);
    EXPECT_EQ(cfg.bits_per_sample, 12);
    EXPECT_EQ(cfg.fps, 30u);
    EXPECT_EQ(TelmoraSimRangeMode(h), 4000);
    float d[240 * 180], a[240 * 180];
    EXPECT_EQ(TelmoraSimGroundTruth(h, 0, d, a), 0);
    EXPECT_GT(d[0], 1000.0f);
    EXPECT_EQ(TelmoraCloseCamera(h), 0);
    EXPECT_NE(TelmoraCloseCamera(h), 0);  // unknown handle now
}

TEST(EvkSdk, CallsNeedTheRightState) {
    TelmoraHandle h = openWith("fps 0\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    EXPECT_NE(TelmoraStartCamera(h), 0) << "start before init";
    EXPECT_NE(TelmoraCaptureImage(h, &img, 10), 0) << "capture before start";
    ASSERT_EQ(TelmoraInitCamera(h), 0);
    EXPECT_NE(TelmoraCaptureImage(h, &img, 10), 0);
    ASSERT_EQ(TelmoraStartCamera(h), 0);
    EXPECT_NE(TelmoraStartCamera(h), 0) << "already started";
    EXPECT_EQ(grab(h, img), 0);
    EXPECT_EQ(TelmoraStopCamera(h), 0);
    EXPECT_NE(TelmoraCaptureImage(h, &img, 10), 0) << "capture after stop";
    EXPECT_EQ(TelmoraCloseCamera(h), 0);
    EXPECT_NE(TelmoraInitCamera(h), 0);
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
}

TEST(EvkSdk, UnpacedTimestampsAndSizes) {
    TelmoraHandle h = openStarted("fps 0\nwidth 64\nheight 48\nbits 14\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    std::vector<uint64_t> ts;
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(grab(h, img), 0);
        EXPECT_EQ(img.size, 64u * 48u * 2u);
        EXPECT_EQ(img.width, 64u);
        EXPECT_EQ(img.height, 48u);
        EXPECT_EQ(img.capture, static_cast<uint64_t>(i / 4));
        EXPECT_EQ(img.index, static_cast<uint32_t>(i % 4));
        ts.push_back(img.timestamp);
    }
    // Images of a capture 1 ms apart, captures 10 ms apart on the simulated clock.
    EXPECT_EQ(ts[1] - ts[0], 1u);
    EXPECT_EQ(ts[3] - ts[0], 3u);
    EXPECT_EQ(ts[4] - ts[0], 10u);
    EXPECT_EQ(ts[8] - ts[0], 20u);
    EXPECT_EQ(TelmoraSimCaptureOfTimestamp(h, ts[5]), 1);
    EXPECT_EQ(TelmoraSimCaptureOfTimestamp(h, ts[8]), 2);
    EXPECT_EQ(TelmoraSimCaptureOfTimestamp(h, ts[8] + 1000), -1);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, SampleWidths) {
    for (int bits : {8, 10, 12, 14, 16}) {
        TelmoraHandle h = openStarted("fps 0\nbits " + std::to_string(bits) + "\n");
        ASSERT_NE(h, nullptr);
        TelmoraCameraConfig cfg;
        TelmoraGetCameraConfig(h, &cfg);
        EXPECT_EQ(cfg.bits_per_sample, bits);
        TelmoraImage img;
        ASSERT_EQ(TelmoraCaptureImage(h, &img, 100), 0);
        EXPECT_EQ(img.size, 240u * 180u * (bits == 8 ? 1u : 2u));
        EXPECT_EQ(img.bits, static_cast<uint32_t>(bits));
        if (bits > 8) {
            uint16_t maxw = 0;
            for (uint32_t i = 0; i < img.size; i += 2) {
                maxw = std::max<uint16_t>(maxw, img.data[i] | (img.data[i + 1] << 8));
            }
            EXPECT_LT(maxw, 1u << bits);
        }
        TelmoraFreeImage(h, img);
        TelmoraCloseCamera(h);
    }
}

TEST(EvkSdk, PacedCameraBlocksAndTimesOut) {
    const auto t0 = Clock::now();  // before the start: the fifth image is due 50 ms after it
    TelmoraHandle h = openStarted("fps 20\n");  // 50 ms per capture
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    std::vector<uint64_t> ts;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(grab(h, img), 0);
        ts.push_back(img.timestamp);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    EXPECT_GE(ms, 50.0) << "the fifth image belongs to the second capture";
    EXPECT_EQ(ts[4] - ts[0], 50u);
    EXPECT_EQ(ts[3] - ts[0], 3u);
    TelmoraCloseCamera(h);

    // At 5 fps the second capture is due 200 ms after the first: a 5 ms time-out expires.
    h = openStarted("fps 5\n");
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(grab(h, img), 0);
    const auto t1 = Clock::now();
    EXPECT_NE(TelmoraCaptureImage(h, &img, 5), 0);
    const double waited = std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
    EXPECT_GE(waited, 4.0);
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
    EXPECT_EQ(grab(h, img), 0);  // the timed-out call lost nothing
    EXPECT_EQ(img.capture, 1u);
    EXPECT_EQ(img.index, 0u);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, HeldImagesAreCountedAndFreedAtClose) {
    const unsigned before = TelmoraSimHeldImages();
    TelmoraHandle h = openStarted("fps 0\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage a, b;
    ASSERT_EQ(TelmoraCaptureImage(h, &a, 10), 0);
    ASSERT_EQ(TelmoraCaptureImage(h, &b, 10), 0);
    EXPECT_EQ(TelmoraSimHeldImages(), before + 2);
    EXPECT_EQ(TelmoraFreeImage(h, a), 0);
    EXPECT_NE(TelmoraFreeImage(h, a), 0) << "freed twice";
    EXPECT_EQ(TelmoraSimHeldImages(), before + 1);
    TelmoraCloseCamera(h);
    EXPECT_EQ(TelmoraSimHeldImages(), before);
}

TEST(EvkSdk, RangeRegisters) {
    TelmoraHandle h = openWith("range 2m\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TelmoraSimRangeMode(h), 2000);
    EXPECT_EQ(TelmoraWriteSensorReg(h, 0x216C, 0x10), 0);
    EXPECT_EQ(TelmoraSimRangeMode(h), 4000);
    TelmoraWriteSensorReg(h, 0x2179, 0x0A);
    TelmoraWriteSensorReg(h, 0x216C, 0x33);  // other values leave the mode
    EXPECT_EQ(TelmoraSimRangeMode(h), 4000);
    TelmoraWriteSensorReg(h, 0x216C, 0x08);
    EXPECT_EQ(TelmoraSimRangeMode(h), 2000);
    uint32_t regs[8], vals[8];
    ASSERT_EQ(TelmoraSimRegisterLog(h, regs, vals, 8), 4u);
    EXPECT_EQ(regs[0], 0x216Cu);
    EXPECT_EQ(vals[0], 0x10u);
    EXPECT_EQ(regs[1], 0x2179u);
    EXPECT_EQ(vals[1], 0x0Au);
    EXPECT_EQ(vals[3], 0x08u);
    EXPECT_EQ(TelmoraSimRegisterLog(h, regs, vals, 1), 4u);
    TelmoraCloseCamera(h);
    EXPECT_EQ(TelmoraSimRangeMode(h), -1);
}

TEST(EvkSdk, ConfigurationErrorsPrintOneLine) {
    int r = 0;
    writeConfig("bad_key.cfg", "# a camera\nwidth 240\nbogus 3\nheight 180\n");
    std::string err = stderrOfOpen("bad_key.cfg", r);
    EXPECT_NE(r, 0);
    EXPECT_EQ(countLines(err), 1) << err;
    EXPECT_NE(err.find("bad_key.cfg:3"), std::string::npos) << err;
    EXPECT_NE(err.find("bogus 3"), std::string::npos) << err;

    writeConfig("bad_value.cfg", "bits 7\n");
    err = stderrOfOpen("bad_value.cfg", r);
    EXPECT_NE(r, 0);
    EXPECT_EQ(countLines(err), 1) << err;
    EXPECT_NE(err.find("bad_value.cfg:1"), std::string::npos) << err;
    EXPECT_NE(err.find("bits 7"), std::string::npos) << err;

    for (const char* text : {"fps\n", "range 3m\n", "scene moon\n", "noise -1\n", "width 0\n",
                             "capture_fails_every 0\n", "timestamps\n", "width 12x\n"}) {
        writeConfig("bad.cfg", text);
        err = stderrOfOpen("bad.cfg", r);
        EXPECT_NE(r, 0) << text;
        EXPECT_EQ(countLines(err), 1) << err;
    }

    err = stderrOfOpen("no_such_dir/missing.cfg", r);
    EXPECT_NE(r, 0);
    EXPECT_EQ(countLines(err), 1) << err;
    EXPECT_NE(err.find("no_such_dir/missing.cfg"), std::string::npos) << err;

    // A directory, a file whose reads fail, a device that never ends: each is an error,
    // not an empty (default) configuration.
    for (const char* path : {".", "/proc/self/mem", "/dev/zero"}) {
        err = stderrOfOpen(path, r);
        EXPECT_NE(r, 0) << path;
        EXPECT_EQ(countLines(err), 1) << err;
        EXPECT_NE(err.find("cannot read the configuration file"), std::string::npos) << err;
    }

    writeConfig("good.cfg", "# comment\n\n  width 64   # trailing\nheight 48\nscene flat_wall\n");
    err = stderrOfOpen("good.cfg", r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(err, "");
}

TEST(EvkSdk, BinaryConfigurationIsRefused) {
    writeConfig("good.bin", "width 64\n");
    int r = 0;
    const std::string err = stderrOfOpen("good.bin", r, true);
    EXPECT_NE(r, 0);
    EXPECT_LE(countLines(err), 1);
    TelmoraOpenParam seen;
    char path[64];
    ASSERT_EQ(TelmoraSimLastOpenParam(&seen, path, sizeof path), 0);
    EXPECT_EQ(seen.binary_config, 1);
    EXPECT_STREQ(path, "good.bin");
}

TEST(EvkSdk, InjectedOpenInitStartFaults) {
    EXPECT_EQ(openWith("fail_open\n"), nullptr);
    TelmoraHandle h = openWith("fail_init 1\n");
    ASSERT_NE(h, nullptr);
    EXPECT_NE(TelmoraInitCamera(h), 0);
    TelmoraCloseCamera(h);
    h = openWith("fail_start\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TelmoraInitCamera(h), 0);
    EXPECT_NE(TelmoraStartCamera(h), 0);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, InjectedCaptureFaults) {
    TelmoraHandle h = openStarted("fps 0\ncapture_fails_at 2 7\ncapture_fails_every 5\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    std::vector<int> results;
    for (int call = 1; call <= 11; ++call) results.push_back(grab(h, img) == 0 ? 1 : 0);
    EXPECT_EQ(results, (std::vector<int>{1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1}));
    EXPECT_EQ(img.sequence, 10u) << "failed calls lose their image";
    TelmoraStopCamera(h);
    ASSERT_EQ(TelmoraStartCamera(h), 0);  // numbering restarts
    EXPECT_EQ(grab(h, img), 0);
    EXPECT_NE(grab(h, img), 0);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, InjectedWrongSizeAndTimestamps) {
    TelmoraHandle h = openStarted("fps 0\nwidth 10\nheight 4\nwrong_size_at 2\n"
                                  "timestamps 100 103 120\ntimestamp_gap_at 5 30\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    std::vector<uint64_t> ts;
    std::vector<uint32_t> sizes;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(grab(h, img), 0);
        ts.push_back(img.timestamp);
        sizes.push_back(img.size);
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{80, 60, 80, 80, 80, 80}));  // one row short
    EXPECT_EQ(ts[0], 100u);
    EXPECT_EQ(ts[1], 103u);
    EXPECT_EQ(ts[2], 120u);
    EXPECT_EQ(ts[5] - ts[3], 30u + 10u - 3u + 1u) << "the gap moves calls 5 and later";
    TelmoraCloseCamera(h);

    h = openStarted("fps 0\nwidth 10\nheight 4\nwrong_size_at 1\nwrong_size_bytes 100\n");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(grab(h, img), 0);
    EXPECT_EQ(img.size, 100u);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, RampPattern) {
    TelmoraHandle h = openStarted("fps 0\nscene ramp\nwidth 32\nheight 8\nbits 10\n");
    ASSERT_NE(h, nullptr);
    TelmoraImage img;
    for (uint32_t m = 0; m < 6; ++m) {
        ASSERT_EQ(TelmoraCaptureImage(h, &img, 10), 0);
        for (uint32_t i = 0; i < 256; ++i) {
            const uint16_t w = img.data[2 * i] | (img.data[2 * i + 1] << 8);
            ASSERT_EQ(w, (i + 17 * m) & 1023);
        }
        TelmoraFreeImage(h, img);
    }
    EXPECT_NE(TelmoraSimGroundTruth(h, 0, nullptr, nullptr), 0);
    TelmoraCloseCamera(h);
}

TEST(EvkSdk, CallCounts) {
    const unsigned starts = TelmoraSimCallCount("TelmoraStartCamera");
    TelmoraHandle h = openStarted("fps 0\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraStartCamera"), starts + 1);
    EXPECT_EQ(TelmoraSimCallCount("NoSuchCall"), 0u);
    TelmoraCloseCamera(h);
}

// Not a timed assertion: prints what one 240 x 180 capture (four images) costs the camera, in
// this thread's processor time (the wall time on a loaded machine says little) and wall time.
TEST(EvkSdk, ReportsCaptureCost) {
    auto cpuMs = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    for (const char* text : {"fps 0\n", "fps 0\nnoise 3\n", "fps 0\nscene flat_wall\n"}) {
        TelmoraHandle h = openStarted(text);
        ASSERT_NE(h, nullptr);
        TelmoraImage img;
        const int captures = 200;
        const auto t0 = Clock::now();
        const double c0 = cpuMs();
        for (int i = 0; i < captures * 4; ++i) ASSERT_EQ(grab(h, img), 0);
        const double cpu = cpuMs() - c0;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        std::string cfg(text);
        for (char& c : cfg) c = c == '\n' ? ' ' : c;
        std::printf("[ evk      ] 240 x 180 capture of four images [%s]: %.3f ms cpu, %.3f ms wall\n",
                    cfg.c_str(), cpu / captures, ms / captures);
        TelmoraCloseCamera(h);
    }
}
