// libsi4c calibration: the format round trip, corrections applied to depth, and files that
// fail validation ignored with one line on stderr.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "si4c.h"
#include "si4c_calibration.hpp"
#include "si4c_test_support.hpp"

using si4c_test::Instance;

namespace {

constexpr int kW = 320, kH = 240;
constexpr double kRangeA = 1249.1352, kRangeB = 1498.9623;  // mm per turn

si4c::Calibration withMap(float mm)
{
    si4c::Calibration c;
    c.map_width = kW;
    c.map_height = kH;
    c.map_mm.assign(size_t(kW) * kH, mm);
    return c;
}

// Stores the CRC of the bytes as they are, so a damage test reaches the check after it.
void reseal(std::vector<uint8_t>& bytes)
{
    const uint32_t crc = si4c::detail::fileCrc(bytes.data(), bytes.size());
    si4c::detail::put32(&bytes[28], crc);
}

struct BadFile {
    const char* name;
    void (*damage)(std::vector<uint8_t>&);
    const char* reason;
};

class Si4cBadCalibrationTest : public ::testing::TestWithParam<BadFile> {};

}  // namespace

TEST(Si4cCalibration, FormatRoundTrip)
{
    si4c::Calibration c = withMap(0.0f);
    for (size_t i = 0; i < c.map_mm.size(); ++i) c.map_mm[i] = float(i % 97) - 40.0f;
    c.phase_a = 0.25f;
    c.phase_b = -1.5f;
    const std::vector<uint8_t> bytes = si4c::writeCalibration(c);
    ASSERT_EQ(bytes.size(), 32u + 4u * kW * kH);
    EXPECT_EQ(std::memcmp(bytes.data(), "S4CB", 4), 0);
    std::vector<float> map(size_t(kW) * kH);
    float a = 0, b = 0;
    bool has_map = false;
    EXPECT_EQ(si4c::readCalibration(bytes.data(), uint32_t(bytes.size()), kW, kH, a, b, map.data(), has_map),
              nullptr);
    EXPECT_TRUE(has_map);
    EXPECT_EQ(a, 0.25f);
    EXPECT_EQ(b, -1.5f);
    EXPECT_EQ(map, c.map_mm);
}

TEST(Si4cCalibration, MapAndPhaseCorrectionsShiftDepth)
{
    si4c::Calibration phase_only;  // +20 mm expressed as a phase at each frequency
    phase_only.phase_a = float(2.0 * M_PI * 20.0 / kRangeA);
    phase_only.phase_b = float(2.0 * M_PI * 20.0 / kRangeB);
    for (const si4c::Calibration& cal : {withMap(20.0f), phase_only}) {
        for (bool two : {false, true}) {
            const float truth = two ? 3500.0f : 600.0f;
            Instance inst;
            ASSERT_TRUE(inst.start(kW, kH, two, si4c_test::kNoFilters, si4c::writeCalibration(cal)));
            ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, two, truth)));
            EXPECT_NEAR(si4c_test::mean(inst.depth), truth + 20.0, 1.0) << (two ? "two" : "one");
        }
    }
}

TEST(Si4cCalibration, InitDropsIt)
{
    Instance inst;
    ASSERT_TRUE(inst.start(kW, kH, false, si4c_test::kNoFilters, si4c::writeCalibration(withMap(50.0f))));
    ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 600.0f)));
    EXPECT_NEAR(inst.depth[0], 650.0, 1.0);
    ASSERT_TRUE(inst.start(kW, kH, false));
    ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 600.0f)));
    EXPECT_NEAR(inst.depth[0], 600.0, 1.0);
}

TEST_P(Si4cBadCalibrationTest, IgnoredWithOneLine)
{
    const BadFile c = GetParam();
    std::vector<uint8_t> bytes = si4c::writeCalibration(withMap(20.0f));
    c.damage(bytes);
    Instance inst;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(inst.start(kW, kH, false, si4c_test::kNoFilters, bytes));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("si4c: calibration ignored: ") + c.reason + "\n");
    ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 600.0f)));
    EXPECT_NEAR(si4c_test::mean(inst.depth), 600.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Si4cBadCalibrationTest,
    ::testing::Values(
        BadFile{"magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; reseal(b); }, "bad magic"},
        BadFile{"version", [](std::vector<uint8_t>& b) { b[4] = 2; reseal(b); }, "unsupported version"},
        BadFile{"crc", [](std::vector<uint8_t>& b) { b[100] ^= 1; }, "checksum mismatch"},
        BadFile{"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() - 4); }, "size mismatch"},
        BadFile{"header_only", [](std::vector<uint8_t>& b) { b.resize(20); }, "too short"},
        BadFile{"map_size",
                [](std::vector<uint8_t>& b) { si4c::detail::put16(&b[8], 640); reseal(b); },
                "map size differs from the sensor"},
        BadFile{"nan_phase",
                [](std::vector<uint8_t>& b) {
                    si4c::detail::putF(&b[16], std::numeric_limits<float>::quiet_NaN());
                    reseal(b);
                },
                "phase correction out of range"},
        BadFile{"huge_offset",
                [](std::vector<uint8_t>& b) { si4c::detail::putF(&b[32 + 400], 1.0e6f); reseal(b); },
                "map value out of range"}),
    [](const testing::TestParamInfo<BadFile>& p) { return std::string(p.param.name); });

TEST(Si4cCalibration, NullDataIsRefused)
{
    Instance inst;
    ASSERT_TRUE(SiSDKInit(inst.handle, kW, kH));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SiSDKSetCaliData(inst.handle, nullptr, 1000));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "si4c: calibration ignored: no data\n");
}
