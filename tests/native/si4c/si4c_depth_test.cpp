// libsi4c depth: accuracy over the whole range, invalid pixels, confidence, capture
// checks, frequency mode and instance handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "si4c.h"
#include "si4c_test_support.hpp"

using si4c_test::Instance;

namespace {

constexpr int kW = 640, kH = 480;
constexpr size_t kPixels = size_t(kW) * kH;

struct RampCase {
    bool two;
    float from, to;  // truth runs from `from` to `to` over the pixels, row-major
    double tolerance;
};

class Si4cRampTest : public ::testing::TestWithParam<RampCase> {};

struct InvalidCase {
    const char* name;
    float distance, amplitude, ambient;
    const char* config;
    bool valid;
};

class Si4cValidityTest : public ::testing::TestWithParam<InvalidCase> {};

}  // namespace

TEST_P(Si4cRampTest, EveryDistanceOfTheRange)
{
    const RampCase c = GetParam();
    std::vector<float> truth(kPixels);
    for (size_t i = 0; i < kPixels; ++i) truth[i] = c.from + (c.to - c.from) * float(i) / float(kPixels - 1);
    Instance inst;
    ASSERT_TRUE(inst.start(kW, kH, c.two));
    ASSERT_TRUE(inst.run(si4c_test::capture(kW, kH, c.two, truth)));
    double worst = 0;
    size_t worst_at = 0;
    for (size_t i = 0; i < kPixels; ++i) {
        ASSERT_GT(inst.confidence[i], 0.0f) << "pixel " << i << " truth " << truth[i];
        const double err = std::fabs(double(inst.depth[i]) - truth[i]);
        if (err > worst) worst = err, worst_at = i;
    }
    EXPECT_LE(worst, c.tolerance) << "truth " << truth[worst_at] << " depth " << inst.depth[worst_at];
}

// One frequency covers 0..1249 mm; the pair must unwrap every distance up to 7000.
INSTANTIATE_TEST_SUITE_P(Ranges, Si4cRampTest,
                         ::testing::Values(RampCase{false, 20.0f, 1240.0f, 0.5},
                                           RampCase{true, 20.0f, 7000.0f, 1.0}));

TEST(Si4cDepth, OneFrequencyWrapsAt1249mm)
{
    Instance inst;
    ASSERT_TRUE(inst.start(kW, kH, false));
    ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 1500.0f)));
    EXPECT_NEAR(inst.depth[0], 1500.0 - 1249.135, 0.5);
}

TEST_P(Si4cValidityTest, InvalidPixelsHaveNoDepthAndNoConfidence)
{
    const InvalidCase c = GetParam();
    Instance inst;
    ASSERT_TRUE(inst.start(320, 240, false, c.config));
    ASSERT_TRUE(inst.run(si4c_test::capture(320, 240, false,
                                            std::vector<float>(320 * 240, c.distance), c.amplitude,
                                            c.ambient)));
    for (size_t i : {size_t(0), size_t(320 * 120 + 160)}) {
        if (c.valid) {
            EXPECT_NEAR(inst.depth[i], c.distance, 1.0);
            EXPECT_GT(inst.confidence[i], 0.0f);
        } else {
            EXPECT_EQ(inst.depth[i], 0.0f);
            EXPECT_EQ(inst.confidence[i], 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, Si4cValidityTest,
    ::testing::Values(InvalidCase{"plain", 800, 400, 100, si4c_test::kNoFilters, true},
                      InvalidCase{"saturated", 800, 3000, 100, si4c_test::kNoFilters, false},
                      InvalidCase{"ambient_saturated", 800, 100, 4000, si4c_test::kNoFilters, false},
                      InvalidCase{"weak", 800, 3, 100, si4c_test::kNoFilters, false},
                      InvalidCase{"below_min", 800, 400, 100, "ValidDistMin=900\n", false},
                      InvalidCase{"above_max", 800, 400, 100, "ValidDistMax=700\n", false},
                      InvalidCase{"inside_range", 800, 400, 100, "ValidDistMin=700\nValidDistMax=900\n", true}),
    [](const testing::TestParamInfo<InvalidCase>& p) { return std::string(p.param.name); });

TEST(Si4cDepth, AmplitudeAndConfidenceFollowTheSignal)
{
    Instance inst;
    ASSERT_TRUE(inst.start(320, 240, false));
    float last_conf = 0.0f;
    for (float amp : {40.0f, 100.0f, 400.0f, 1500.0f}) {
        ASSERT_TRUE(inst.run(si4c_test::capture(320, 240, false, std::vector<float>(320 * 240, 600.0f), amp)));
        EXPECT_NEAR(inst.amplitude[100], amp, 1.0);
        EXPECT_GT(inst.confidence[100], last_conf) << amp;
        EXPECT_LE(inst.confidence[100], 1.0f);
        last_conf = inst.confidence[100];
    }
}

TEST(Si4cCapture, MalformedCapturesAreRefused)
{
    Instance inst;
    ASSERT_TRUE(inst.start(320, 240, true));
    const size_t sub = 320u * 241u;
    const std::vector<uint16_t> good = si4c_test::wall(320, 240, true, 900.0f, 0.0f, 77);
    ASSERT_TRUE(inst.run(good));

    struct Damage {
        const char* what;
        size_t word;
        uint16_t value;
    };
    const Damage damages[] = {
        {"sub-frame index", 3 * sub + 0, 4},
        {"frequency code", 7 * sub + 1, SI4C_FREQ_A_CODE},
        {"frame counter of one sub-frame", 9 * sub + 2, 78},
    };
    for (const Damage& d : damages) {
        std::vector<uint16_t> raw = good;
        raw[d.word] = d.value;
        EXPECT_FALSE(inst.run(raw)) << d.what;
    }
    // A single-frequency capture handed to a two-frequency stream.
    EXPECT_FALSE(inst.run(si4c_test::wall(320, 240, false, 900.0f)));
}

TEST(Si4cMode, SwitchTakesEffectAtTheNextStart)
{
    Instance inst;
    ASSERT_TRUE(inst.start(320, 240, false));
    EXPECT_TRUE(SiSDKIsSingleFreq(inst.handle));
    ASSERT_TRUE(SiSDKSetSingleFreq(inst.handle, false));
    EXPECT_FALSE(SiSDKIsSingleFreq(inst.handle));  // reported at once
    // ... but the running stream still gets the captures it was started for.
    ASSERT_TRUE(inst.run(si4c_test::wall(320, 240, false, 700.0f)));
    EXPECT_NEAR(inst.depth[0], 700.0, 1.0);
    ASSERT_TRUE(SiSDKStart(inst.handle));
    EXPECT_FALSE(inst.run(si4c_test::wall(320, 240, false, 700.0f)));
    ASSERT_TRUE(inst.run(si4c_test::wall(320, 240, true, 2700.0f)));
    EXPECT_NEAR(inst.depth[0], 2700.0, 1.0);
}

TEST(Si4cInstance, OnlyTheTwoSensorSizes)
{
    void* h = nullptr;
    ASSERT_TRUE(SiSDKCreate(&h));
    const int sizes[][3] = {{640, 480, 1}, {320, 240, 1}, {640, 240, 0}, {320, 480, 0},
                            {0, 0, 0},     {-640, -480, 0}, {1280, 960, 0}, {240, 180, 0}};
    for (const auto& s : sizes) EXPECT_EQ(SiSDKInit(h, s[0], s[1]), s[2] == 1) << s[0] << "x" << s[1];
    EXPECT_TRUE(SiSDKDestroy(&h));
    EXPECT_EQ(h, nullptr);
}

TEST(Si4cInstance, NothingRunsBeforeInitAndStart)
{
    Instance inst;
    const std::vector<uint16_t> raw = si4c_test::wall(320, 240, false, 500.0f);
    std::vector<float> planes(3 * 320 * 240);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(raw.data());
    EXPECT_FALSE(SiSDKStart(inst.handle));
    EXPECT_FALSE(SiSDKGetPhaseImage(inst.handle, bytes, planes.data(), planes.data() + 76800, planes.data() + 153600));
    ASSERT_TRUE(SiSDKInit(inst.handle, 320, 240));
    EXPECT_FALSE(SiSDKGetPhaseImage(inst.handle, bytes, planes.data(), planes.data() + 76800, planes.data() + 153600));
    ASSERT_TRUE(SiSDKStart(inst.handle));
    EXPECT_TRUE(SiSDKGetPhaseImage(inst.handle, bytes, planes.data(), planes.data() + 76800, planes.data() + 153600));
    EXPECT_FALSE(SiSDKGetPhaseImage(inst.handle, bytes + 1, planes.data(), planes.data() + 76800, planes.data() + 153600));
    EXPECT_FALSE(SiSDKGetPhaseImage(inst.handle, bytes, nullptr, planes.data(), planes.data()));
}

TEST(Si4cInstance, DestroyedHandlesAreRefusedWithAMessage)
{
    void* h = nullptr;
    ASSERT_TRUE(SiSDKCreate(&h));
    void* dead = h;
    ASSERT_TRUE(SiSDKDestroy(&h));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SiSDKInit(dead, 640, 480));
    EXPECT_FALSE(SiSDKStart(dead));
    EXPECT_FALSE(SiSDKSetSingleFreq(dead, false));
    EXPECT_FALSE(SiSDKDestroy(&dead));
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* call : {"SiSDKInit", "SiSDKStart", "SiSDKSetSingleFreq", "SiSDKDestroy"})
        EXPECT_NE(err.find(std::string("si4c: ") + call + ": unknown handle"), std::string::npos) << call;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4);
    EXPECT_FALSE(SiSDKCreate(nullptr));
}

TEST(Si4cConfig, ExplicitDirectoryWithoutTheFileFailsStart)
{
    void* h = nullptr;
    ASSERT_TRUE(SiSDKCreate(&h));
    ASSERT_TRUE(SiSDKInit(h, 320, 240));
    ASSERT_TRUE(SiSDKSetConfig(h, "/nonexistent/si4c"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SiSDKStart(h));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "si4c: cannot read /nonexistent/si4c/ConfigAlgorithm.json\n");
    // Init forgets the directory: the working directory (no file: defaults) applies again.
    ASSERT_TRUE(SiSDKInit(h, 320, 240));
    EXPECT_TRUE(SiSDKStart(h));
    SiSDKDestroy(&h);
}

TEST(Si4cConfig, NonNumericValueIsReportedAndSkipped)
{
    Instance inst;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(inst.start(320, 240, false, "ValidDistMax=far\nValidDistMin=900\n"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "si4c: ConfigAlgorithm.json: ValidDistMax is not an integer, ignored\n");
    ASSERT_TRUE(inst.run(si4c_test::wall(320, 240, false, 800.0f)));
    EXPECT_EQ(inst.confidence[0], 0.0f);  // the numeric key still applied
    ASSERT_TRUE(inst.run(si4c_test::wall(320, 240, false, 1000.0f)));
    EXPECT_NEAR(inst.depth[0], 1000.0, 1.0);
}
