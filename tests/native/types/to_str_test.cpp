#include <gtest/gtest.h>

#include <string>

#include "telmora/types.hpp"

using namespace Telmora;

struct CodeText {
    int code;
    const char* text;
};

class ToStr : public ::testing::TestWithParam<CodeText> {};

TEST_P(ToStr, GivesTheFixedText)
{
    EXPECT_STREQ(to_str(static_cast<TofErrorCode>(GetParam().code)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ToStr,
    ::testing::Values(CodeText{0, "Success"}, CodeText{1, "Invalid parameter"}, CodeText{2, "No cache"},
                      CodeText{3, "Unkown device"}, CodeText{4, "Not implemented"},
                      CodeText{240, "Skip frame"}, CodeText{-2, "System error"},
                      CodeText{-1, "Unknown error"}, CodeText{5, "Unknown error"},
                      CodeText{239, "Unknown error"}, CodeText{241, "Unknown error"},
                      CodeText{-3, "Unknown error"}, CodeText{INT32_MIN, "Unknown error"}));

TEST(ToStr, ReturnsTheSameStaticText)
{
    EXPECT_EQ(to_str(TelmoraSuccess), to_str(TelmoraSuccess));
}

TEST(Enums, ValuesAndWidths)
{
    static_assert(sizeof(TofErrorCode) == 4 && sizeof(CameraCtrl) == 4 && sizeof(TofFrameWorkMode) == 4, "");
    static_assert(sizeof(CameraInfo) == 32, "eight 32-bit fields");
    static_assert(sizeof(FrameSize) == 12, "three int32 fields");
    EXPECT_EQ(CONFIG_DIR_EXT, 256);
    EXPECT_EQ(AUTO_FRAME_RATE, 9);
    EXPECT_EQ(AMPLITUDE, 3);
    EXPECT_EQ(CACHE, 4);
    EXPECT_EQ(CUSTOM3, 11);
    EXPECT_EQ(static_cast<int>(TofFrameWorkMode::CUSTOM), 20);
    EXPECT_EQ(static_cast<int>(TofFrameWorkMode::BG_OUTDOOR), 18);
    EXPECT_EQ(PLATFORM_RADXA_ROCK, 7);
    EXPECT_EQ(PLATFORM_JETSON_NANO, 2);
}
