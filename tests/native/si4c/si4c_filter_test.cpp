// libsi4c filters: the spatial filter keeps edges, the temporal filter lowers noise on a
// still scene and follows a moving one without smearing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "si4c_test_support.hpp"

using si4c_test::Instance;

namespace {

constexpr int kW = 320, kH = 240;

std::string levels(int spatial, int temporal)
{
    return "SDenoiseLevel_Depth=" + std::to_string(spatial) +
           "\nTDenoiseLevel_Depth=" + std::to_string(temporal) + "\n";
}

// Left half at `near`, right half at `far`.
std::vector<float> step(float near_mm, float far_mm)
{
    std::vector<float> d(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) d[size_t(y) * kW + x] = x < kW / 2 ? near_mm : far_mm;
    return d;
}

// Mean depth of column `x`.
double columnMean(const Instance& inst, int x)
{
    double s = 0;
    for (int y = 0; y < kH; ++y) s += inst.depth[size_t(y) * kW + x];
    return s / kH;
}

}  // namespace

TEST(Si4cSpatial, KeepsAStepEdge)
{
    for (int level : {3, 5}) {
        Instance inst;
        ASSERT_TRUE(inst.start(kW, kH, false, levels(level, 0)));
        ASSERT_TRUE(inst.run(si4c_test::capture(kW, kH, false, step(800, 1000), 400, 100, 20.0f)));
        // The columns beside the edge keep their own side's depth.
        for (int x : {kW / 2 - 2, kW / 2 - 1}) EXPECT_NEAR(columnMean(inst, x), 800.0, 3.0) << level;
        for (int x : {kW / 2, kW / 2 + 1}) EXPECT_NEAR(columnMean(inst, x), 1000.0, 3.0) << level;
    }
}

TEST(Si4cTemporal, AveragesAStillScene)
{
    double sd[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        Instance inst;
        ASSERT_TRUE(inst.start(kW, kH, false, levels(0, k == 0 ? 0 : 3)));
        for (uint32_t frame = 0; frame < 12; ++frame)
            ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 900.0f, 25.0f, frame)));
        sd[k] = si4c_test::stddev(inst.depth);
        EXPECT_NEAR(si4c_test::mean(inst.depth), 900.0, 1.0);
    }
    EXPECT_GT(sd[0], 2.0);
    EXPECT_LT(sd[1], 0.6 * sd[0]);
}

TEST(Si4cTemporal, MovingEdgeIsNotSmeared)
{
    Instance inst;
    ASSERT_TRUE(inst.start(kW, kH, false, levels(3, 5)));
    for (uint32_t frame = 0; frame < 6; ++frame)
        ASSERT_TRUE(inst.run(si4c_test::capture(kW, kH, false, step(800, 1000), 400, 100, 10.0f, frame)));
    // The near surface moves right by 40 columns in one frame.
    std::vector<float> moved(size_t(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) moved[size_t(y) * kW + x] = x < kW / 2 + 40 ? 800.0f : 1000.0f;
    ASSERT_TRUE(inst.run(si4c_test::capture(kW, kH, false, moved, 400, 100, 10.0f, 6)));
    for (int x = kW / 2; x < kW / 2 + 40; ++x)
        EXPECT_NEAR(columnMean(inst, x), 800.0, 3.0) << "column " << x;
    EXPECT_NEAR(columnMean(inst, kW / 2 + 40), 1000.0, 3.0);
}

TEST(Si4cTemporal, RestartsAtEveryStart)
{
    Instance inst;
    ASSERT_TRUE(inst.start(kW, kH, false, levels(0, 5)));
    for (uint32_t frame = 0; frame < 5; ++frame)
        ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 900.0f, 0.0f, frame)));
    ASSERT_TRUE(inst.start(kW, kH, false, levels(0, 5)));
    // 903 mm lies within the noise band of 900: only a cleared history shows it at once.
    ASSERT_TRUE(inst.run(si4c_test::wall(kW, kH, false, 903.0f)));
    EXPECT_NEAR(si4c_test::mean(inst.depth), 903.0, 0.5);
}
