#include <gtest/gtest.h>

#include "frame/cache_data.hpp"
#include "frame/depth_data.hpp"
#include "frame/raw_data.hpp"

using namespace Telmora;

namespace {
const FrameDataFormat kUntouched{77, 88, CACHE, 99};

void expectFormat(const FrameDataFormat& f, uint32_t w, uint32_t h, FrameType t, uint64_t ts)
{
    EXPECT_EQ(f.width, w);
    EXPECT_EQ(f.height, h);
    EXPECT_EQ(f.type, t);
    EXPECT_EQ(f.timestamp, ts);
}
}  // namespace

TEST(CacheData, SizedForFourHqvgaImages)
{
    CacheData cache(240, 2 * 180 * 4);
    FrameDataFormat f{};
    ASSERT_EQ(cache.getFormat(CACHE, f), 0);
    expectFormat(f, 240, 1440, CACHE, 0);
    EXPECT_EQ(static_cast<size_t>(f.width) * f.height, 345600u);
    uint8_t* data = static_cast<uint8_t*>(cache.getData(CACHE));
    ASSERT_NE(data, nullptr);
    data[345599] = 1;  // the whole array is addressable (ASan checks the bound)
}

TEST(CacheData, AnswersOnlyCache)
{
    CacheData cache(4, 4);
    for (FrameType t : {RAW, CONFIDENCE, DEPTH, AMPLITUDE}) {
        FrameDataFormat f = kUntouched;
        EXPECT_EQ(cache.getData(t), nullptr);
        EXPECT_EQ(cache.getFormat(t, f), -1);
        EXPECT_EQ(f.width, kUntouched.width);
        EXPECT_EQ(f.timestamp, kUntouched.timestamp);
    }
}

TEST(RawData, AnswersOnlyRaw)
{
    RawData raw(240, 720);
    FrameDataFormat f{};
    ASSERT_EQ(raw.getFormat(RAW, f), 0);
    expectFormat(f, 240, 720, RAW, 0);
    EXPECT_NE(raw.getData(RAW), nullptr);
    for (FrameType t : {CONFIDENCE, DEPTH, AMPLITUDE, CACHE}) {
        FrameDataFormat g = kUntouched;
        EXPECT_EQ(raw.getData(t), nullptr);
        EXPECT_EQ(raw.getFormat(t, g), -1);
        EXPECT_EQ(g.height, kUntouched.height);
    }
    raw.setTimestamp(1234);
    raw.getFormat(RAW, f);
    EXPECT_EQ(f.timestamp, 1234u);
}

TEST(DepthData, ThreeDistinctPlanesAndSharedConfidenceFormat)
{
    DepthData d({240, 180, DEPTH, 0}, {240, 180, CONFIDENCE, 0});
    void* depth = d.getData(DEPTH);
    void* conf = d.getData(CONFIDENCE);
    void* amp = d.getData(AMPLITUDE);
    ASSERT_NE(depth, nullptr);
    ASSERT_NE(conf, nullptr);
    ASSERT_NE(amp, nullptr);
    EXPECT_NE(depth, conf);
    EXPECT_NE(conf, amp);
    EXPECT_NE(depth, amp);
    EXPECT_EQ(d.getData(RAW), nullptr);
    EXPECT_EQ(d.getData(CACHE), nullptr);

    FrameDataFormat f{};
    ASSERT_EQ(d.getFormat(AMPLITUDE, f), 0);
    expectFormat(f, 240, 180, CONFIDENCE, 0);
    FrameDataFormat g = kUntouched;
    EXPECT_EQ(d.getFormat(RAW, g), -1);
    EXPECT_EQ(g.width, kUntouched.width);

    d.setTimestamp(0x1122334455667788ull);
    d.getFormat(DEPTH, f);
    expectFormat(f, 240, 180, DEPTH, 0x1122334455667788ull);
    d.getFormat(CONFIDENCE, f);
    expectFormat(f, 240, 180, CONFIDENCE, 0x1122334455667788ull);
}

TEST(DepthData, FailedAllocationReleasesWhatWasMade)
{
    // The third plane is too large to allocate: the constructor must throw and the two
    // planes already made must not leak (LeakSanitizer reports them otherwise).
    EXPECT_THROW(DepthData({0xFFFFFFFFu, 0xFFFFFFFFu, DEPTH, 0}, {16, 16, CONFIDENCE, 0}), std::bad_alloc);
}
