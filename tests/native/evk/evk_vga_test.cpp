// The software USB camera as a VGA-class sensor: one image per capture holding a whole
// depth-library raw capture, its size, its content against the encoder fed with the exported
// ground truth, the configuration checks, and depth from the library over the default room.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "si4c/si4c_raw_encoder.hpp"
#include "telmora_evk_sdk.h"

namespace {

std::string writeConfig(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

// Opened, initialised and started on a configuration text; null when any step fails.
TelmoraHandle openStarted(const std::string& text, const std::string& name = "vga.cfg") {
    TelmoraOpenParam param;
    TelmoraDefaultParam(&param);
    const std::string path = writeConfig(name, text);
    param.config_path = path.c_str();
    TelmoraHandle h = nullptr;
    if (TelmoraOpenCamera(&h, &param) != 0) return nullptr;
    if (TelmoraInitCamera(h) != 0 || TelmoraStartCamera(h) != 0) {
        TelmoraCloseCamera(h);
        return nullptr;
    }
    return h;
}

// One capture's samples (the image converted to words) and its record.
struct Capture {
    TelmoraImage record{};
    std::vector<uint16_t> words;
};

bool grab(TelmoraHandle h, Capture& c) {
    if (TelmoraCaptureImage(h, &c.record, 2000) != 0) return false;
    c.words.resize(c.record.size / 2);
    std::memcpy(c.words.data(), c.record.data, c.words.size() * 2);
    TelmoraFreeImage(h, c.record);
    return true;
}

// What the encoder makes of the camera's exported ground truth for `capture`.
std::vector<uint16_t> expectedCapture(TelmoraHandle h, uint64_t capture, int width, int height,
                                      bool two, float ambient, float noise, uint64_t seed) {
    std::vector<float> distance(size_t(width) * size_t(height)), amplitude(distance.size());
    if (TelmoraSimGroundTruth(h, capture, distance.data(), amplitude.data()) != 0) return {};
    std::vector<uint16_t> raw(si4c::rawWords(width, height, two));
    si4c::RawEncoderFrame f;
    f.width = width;
    f.height = height;
    f.two_frequencies = two;
    f.distance_mm = distance.data();
    f.amplitude = amplitude.data();
    f.ambient_uniform = ambient;
    f.noise = noise;
    f.frame_counter = static_cast<uint32_t>(capture);
    f.noise_seed = seed;
    si4c::encodeCapture(f, raw.data());
    return raw;
}

struct LayoutCase {
    const char* name;
    const char* config;
    int width;
    int height;
    bool two;
    uint32_t raw_height;
};

class EvkVgaLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(EvkVgaLayout, OneRawCapturePerImageOfTheReportedSize) {
    const LayoutCase& c = GetParam();
    TelmoraHandle h = openStarted(std::string("fps 0\nsensor vga\nscene flat_wall\nwall_mm 900\n") +
                                  c.config);
    ASSERT_NE(h, nullptr);
    TelmoraCameraConfig cfg;
    ASSERT_EQ(TelmoraGetCameraConfig(h, &cfg), 0);
    EXPECT_EQ(cfg.width, uint32_t(c.width));
    EXPECT_EQ(cfg.height, c.raw_height);
    EXPECT_EQ(cfg.bits_per_sample, 12);

    const size_t sub_words = size_t(c.width) * size_t(c.height + 1);
    uint64_t last_ts = 0;
    // Captures after the first come from the still-scene shortcut: they must equal a fresh
    // encoding too.
    for (uint64_t n = 0; n < 3; ++n) {
        Capture cap;
        ASSERT_TRUE(grab(h, cap));
        EXPECT_EQ(cap.record.width, uint32_t(c.width));
        EXPECT_EQ(cap.record.height, c.raw_height);
        EXPECT_EQ(cap.record.size, uint32_t(c.width) * c.raw_height * 2);
        EXPECT_EQ(cap.record.capture, n) << "one image is one capture";
        EXPECT_EQ(cap.record.index, 0u);
        if (n > 0) {
            EXPECT_GE(cap.record.timestamp - last_ts, 6u) << "captures stay apart";
        }
        last_ts = cap.record.timestamp;
        const int subs = c.two ? 10 : 5;
        ASSERT_EQ(cap.words.size(), sub_words * size_t(subs));
        for (int k = 0; k < subs; ++k) {
            const uint16_t* meta = cap.words.data() + sub_words * size_t(k);
            EXPECT_EQ(meta[0], k);
            EXPECT_EQ(meta[1], k < 5 ? SI4C_FREQ_A_CODE : SI4C_FREQ_B_CODE);
            EXPECT_EQ(meta[2], n);
        }
        EXPECT_EQ(cap.words, expectedCapture(h, n, c.width, c.height, c.two, 0.0f, 0.0f, 1))
            << "capture " << n;
    }
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
    TelmoraCloseCamera(h);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EvkVgaLayout,
    testing::Values(LayoutCase{"Vga", "", 640, 480, false, 2405},
                    LayoutCase{"VgaDouble", "freq_mode double\n", 640, 480, true, 4810},
                    LayoutCase{"Qvga", "width 320\nheight 240\n", 320, 240, false, 1205},
                    LayoutCase{"QvgaDouble", "width 320\nheight 240\nfreq_mode double\n", 320, 240,
                               true, 2410},
                    LayoutCase{"ExplicitSize", "width 640\nheight 480\nfreq_mode single\n", 640, 480,
                               false, 2405}),
    [](const auto& i) { return std::string(i.param.name); });

// The animated room with noise and ambient light: every capture is the encoding of that
// capture's exported truth, with this seed's noise.
TEST(EvkVga, RoomWithNoiseIsTheEncodedGroundTruth) {
    const std::string text = "fps 0\nsensor vga\nwidth 320\nheight 240\nfreq_mode double\n"
                             "noise 2.5\nseed 9\nambient 40\n";
    TelmoraHandle h = openStarted(text);
    ASSERT_NE(h, nullptr);
    std::vector<uint16_t> first;
    for (uint64_t n = 0; n < 3; ++n) {
        Capture cap;
        ASSERT_TRUE(grab(h, cap));
        ASSERT_EQ(cap.record.capture, n);
        EXPECT_EQ(cap.words, expectedCapture(h, n, 320, 240, true, 40.0f, 2.5f, 9)) << n;
        if (n == 0) first = cap.words;
        if (n > 0) {
            EXPECT_NE(cap.words, first) << "noise and the ball change every capture";
        }
    }
    // The same start again gives the same captures; another seed other noise.
    TelmoraStopCamera(h);
    ASSERT_EQ(TelmoraStartCamera(h), 0);
    Capture again;
    ASSERT_TRUE(grab(h, again));
    EXPECT_EQ(again.words, first);
    TelmoraCloseCamera(h);
    h = openStarted(text + "seed 10\n");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(grab(h, again));
    EXPECT_NE(again.words, first);
    TelmoraCloseCamera(h);
}

TEST(EvkVga, GroundTruthAmplitudeIsInLibraryCounts) {
    // reflectivity 0.8, illumination 1000, 0.8 m: 1000 code units; the library reports them.
    TelmoraHandle h = openStarted("fps 0\nsensor vga\nscene flat_wall\nwall_mm 800\n");
    ASSERT_NE(h, nullptr);
    std::vector<float> d(640 * 480), a(640 * 480);
    ASSERT_EQ(TelmoraSimGroundTruth(h, 0, d.data(), a.data()), 0);
    EXPECT_FLOAT_EQ(d[0], 800.0f);
    EXPECT_FLOAT_EQ(d.back(), 800.0f);
    EXPECT_NEAR(a[0], 1000.0f, 0.01f);
    EXPECT_NEAR(a.back(), 1000.0f, 0.01f);
    TelmoraCloseCamera(h);
}

TEST(EvkVga, WrongSizeFaultIsOneRawLineShort) {
    TelmoraHandle h = openStarted("fps 0\nsensor vga\nwrong_size_at 2\n");
    ASSERT_NE(h, nullptr);
    Capture cap;
    ASSERT_TRUE(grab(h, cap));
    EXPECT_EQ(cap.record.size, 640u * 2405u * 2u);
    ASSERT_TRUE(grab(h, cap));
    EXPECT_EQ(cap.record.size, 640u * 2404u * 2u);
    TelmoraCloseCamera(h);
}

struct BadConfig {
    const char* text;
    const char* message;  // part of the one line printed
};

class EvkVgaConfig : public testing::TestWithParam<BadConfig> {};

TEST_P(EvkVgaConfig, RefusedWithOneLine) {
    writeConfig("bad_vga.cfg", GetParam().text);
    TelmoraOpenParam param;
    TelmoraDefaultParam(&param);
    param.config_path = "bad_vga.cfg";
    TelmoraHandle h = nullptr;
    testing::internal::CaptureStderr();
    const int r = TelmoraOpenCamera(&h, &param);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(r, 0);
    if (r == 0) TelmoraCloseCamera(h);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("bad_vga.cfg"), std::string::npos) << err;
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EvkVgaConfig,
    testing::Values(BadConfig{"sensor xga\n", "expected hqvga or vga"},
                    BadConfig{"sensor\n", "expected hqvga or vga"},
                    BadConfig{"sensor vga\nfreq_mode triple\n", "expected single or double"},
                    BadConfig{"freq_mode double\n", "freq_mode double needs sensor vga"},
                    BadConfig{"sensor vga\nwidth 800\nheight 600\n", "not 800 x 600"},
                    BadConfig{"sensor vga\nwidth 320\n", "not 320 x 180"},
                    BadConfig{"sensor vga\nwidth 640\nheight 240\n", "not 640 x 240"},
                    BadConfig{"sensor vga\nbits 10\n", "12-bit samples, not bits 10"},
                    BadConfig{"sensor vga\nbits 16\n", "12-bit samples, not bits 16"},
                    BadConfig{"sensor vga\nscene ramp\n", "no ramp pattern"},
                    BadConfig{"sensor vga\nambient -5\n", "ambient 0 .. 1023"},
                    // The later line wins: back to the four-phase sensor.
                    BadConfig{"sensor vga\nsensor hqvga\nfreq_mode double\n", "needs sensor vga"}));

// Not a timed assertion: what one 640 x 480 two-frequency capture costs the camera in this
// thread's processor time (render, pack, hand out, free).
TEST(EvkVga, ReportsCaptureCost) {
    auto cpuMs = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    for (const char* extra : {"scene flat_wall\n", "scene flat_wall\nnoise 3\n", "\n", "noise 3\n"}) {
        TelmoraHandle h = openStarted(std::string("fps 0\nsensor vga\nfreq_mode double\n") + extra);
        ASSERT_NE(h, nullptr);
        Capture cap;
        ASSERT_TRUE(grab(h, cap));  // the first capture of a still scene is the full encoding
        const int captures = 20;
        const double c0 = cpuMs();
        for (int i = 0; i < captures; ++i) {
            ASSERT_EQ(TelmoraCaptureImage(h, &cap.record, 2000), 0);
            TelmoraFreeImage(h, cap.record);
        }
        const double cpu = (cpuMs() - c0) / captures;
        std::string what(extra);
        std::replace(what.begin(), what.end(), '\n', ' ');
        std::printf("[ evk      ] 640 x 480 two-frequency capture [%s]: %.2f ms cpu\n",
                    what.c_str(), cpu);
        TelmoraCloseCamera(h);
    }
}

}  // namespace
