// The three library configuration files: exact bytes, every key of the work-mode tables,
// truncation of longer files, and a file that cannot be opened.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "device/depth_config_files.hpp"
#include "device/device_vga.hpp"
#include "vga_test_support.hpp"

using namespace Telmora;
using vga_test::readFile;
using vga_test::ScratchDir;

namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> splitBlocks(const std::string& text)
{
    std::vector<std::string> blocks;
    size_t start = 0;
    for (size_t pos; (pos = text.find("\n\n", start)) != std::string::npos; start = pos + 2)
        blocks.push_back(text.substr(start, pos - start));
    blocks.push_back(text.substr(start));
    return blocks;
}

const char* const kModeSections[] = {"Signle-4PHASE",     "Signle-4PHASE_GRAY",
                                     "Double-4PHASE_4PHASE", "Double-4PHASE_GRAY_4PHASE_BG",
                                     "Gray-Only",          "BGOUTDOOR",
                                     "Signal-BG-GRAY-BG-4PHASE"};

std::vector<std::string> modeKeys()
{
    std::vector<std::string> k = {"WorkMode", "SubWorkMode"};
    for (int i = 0; i < 4; ++i) k.push_back("SubFrameModes" + std::to_string(i));
    for (int i = 0; i < 4; ++i) k.push_back("SpecialFrameModes" + std::to_string(i));
    k.push_back("SpecBgMode");
    for (int i = 0; i < 4; ++i) k.push_back("FrameSeqSchedule" + std::to_string(i));
    for (const char* kind : {"IntTime", "PhaseDiv"}) {
        for (int f = 0; f < 4; ++f) {
            const std::string p = "Frame" + std::to_string(f) + "_";
            k.push_back(p + "1To4" + kind);
            k.push_back(p + "5To8" + kind);
            k.push_back(p + "Special" + kind);
        }
    }
    for (int i = 0; i < 4; ++i) k.push_back("NumSubFramePerFrame" + std::to_string(i));
    for (const char* s : {"MirrorMode", "PhaseMode", "EnableLedMod", "SeqNumPerDepthMap",
                          "MIPI_FS_FE_Pos", "SeqRepeatMode", "TriggerMode", "SlaveTrigOnPosLevel",
                          "TSensorMode", "performClkChanges"})
        k.push_back(s);
    return k;
}

// Values every work-mode section shares.
std::map<std::string, std::string> commonValues()
{
    std::map<std::string, std::string> v = {
        {"SubFrameModes3", "0"},    {"SpecialFrameModes3", "0"}, {"SpecBgMode", "0"},
        {"FrameSeqSchedule0", "0"}, {"FrameSeqSchedule1", "1"},  {"FrameSeqSchedule2", "2"},
        {"FrameSeqSchedule3", "3"}, {"Frame2_1To4IntTime", "0"}, {"Frame3_SpecialIntTime", "0"},
        {"Frame2_1To4PhaseDiv", "2"}, {"NumSubFramePerFrame0", "1"}, {"MirrorMode", "0"},
        {"PhaseMode", "0"},         {"EnableLedMod", "1"},       {"SeqNumPerDepthMap", "1"},
        {"SeqRepeatMode", "1"},     {"TriggerMode", "1"},        {"SlaveTrigOnPosLevel", "0"},
        {"TSensorMode", "1"},       {"performClkChanges", "0"}};
    for (int f = 0; f < 4; ++f) {
        const std::string p = "Frame" + std::to_string(f) + "_";
        v[p + "5To8IntTime"] = "0";
        v[p + "5To8PhaseDiv"] = "2";
        v[p + "SpecialPhaseDiv"] = "24";
    }
    return v;
}

// Values that differ, one column per section in kModeSections order.
const std::map<std::string, std::vector<std::string>> kDiffering = {
    {"WorkMode", {"0", "0", "1", "1", "8", "7", "0"}},
    {"SubWorkMode", {"1", "2", "10", "11", "19", "18", "8"}},
    {"SubFrameModes0", {"0", "5", "0", "5", "4", "4", "4"}},
    {"SubFrameModes1", {"0", "0", "0", "5", "0", "0", "4"}},
    {"SubFrameModes2", {"0", "0", "0", "0", "0", "0", "4"}},
    {"SpecialFrameModes0", {"0", "1", "0", "1", "1", "2", "2"}},
    {"SpecialFrameModes1", {"0", "0", "0", "2", "0", "0", "1"}},
    {"SpecialFrameModes2", {"0", "0", "0", "0", "0", "0", "2"}},
    {"Frame0_1To4IntTime", {"1000000", "1000000", "1000000", "1000000", "0", "0", "0"}},
    {"Frame0_SpecialIntTime", {"0", "1000000", "0", "1000000", "1000000", "1000000", "1000000"}},
    {"Frame1_1To4IntTime", {"0", "0", "1000000", "1000000", "0", "0", "0"}},
    {"Frame1_SpecialIntTime", {"0", "0", "0", "1000000", "0", "0", "1000000"}},
    {"Frame2_SpecialIntTime", {"0", "0", "0", "0", "0", "0", "1000000"}},
    {"Frame3_1To4IntTime", {"0", "0", "0", "0", "0", "0", "1000000"}},
    {"Frame0_1To4PhaseDiv", {"4", "4", "4", "4", "2", "2", "2"}},
    {"Frame1_1To4PhaseDiv", {"2", "2", "24", "24", "2", "2", "2"}},
    {"Frame3_1To4PhaseDiv", {"2", "2", "2", "2", "2", "2", "4"}},
    {"NumSubFramePerFrame1", {"0", "0", "1", "1", "0", "0", "1"}},
    {"NumSubFramePerFrame2", {"0", "0", "0", "0", "0", "0", "1"}},
    {"NumSubFramePerFrame3", {"0", "0", "0", "0", "0", "0", "1"}},
    {"MIPI_FS_FE_Pos", {"0", "0", "0", "0", "0", "0", "3"}},
};

// The comment line before each group: (first key of the group, comment text per section).
const std::vector<std::pair<std::string, std::vector<std::string>>> kComments = {
    {"SubFrameModes0",
     {"//SubFrameModes0={0,0,0,0}", "//SubFrameModes0={5,0,0,0}", "//SubFrameModes0={0,0,0,0}",
      "//SubFrameModes0={5,5,0,0}", "//SubFrameModes0={4,0,0,0}", "//SubFrameModes0={4,0,0,0}",
      "//SubFrameModes0={4,4,4,0}"}},
    {"SpecialFrameModes0",
     {"//SpecialFrameModes={0,0,0,0}", "//SpecialFrameModes={1,0,0,0}",
      "//SpecialFrameModes={0,0,0,0}", "//SpecialFrameModes={1,2,0,0}",
      "//SpecialFrameModes={0,0,0,0}", "//SpecialFrameModes={0,0,0,0}",
      "//SpecialFrameModes={0,0,0,0}"}},
    {"FrameSeqSchedule0", std::vector<std::string>(7, "//FrameSeqSchedule={0,1,2,3}")},
    {"Frame0_1To4IntTime",
     {"//IntegrationTimes={{1000000,0,0},{0,0,0},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{1000000,0,1000000},{0,0,0},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{1000000,0,0},{1000000,0,0},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{1000000,0,1000000},{1000000,0,1000000},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{0,0,1000000},{0,0,0},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{0,0,1000000},{0,0,0},{0,0,0},{0,0,0}}",
      "//IntegrationTimes={{0,0,1000000},{0,0,1000000},{0,0,1000000},{1000000,0,0}}"}},
    {"Frame0_1To4PhaseDiv",
     {"//PLLDLLDivs={{4,2,24},{2,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{4,2,24},{2,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{5,2,24},{2,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{4,2,24},{24,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{2,2,24},{2,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{2,2,24},{2,2,24},{2,2,24},{2,2,24}}",
      "//PLLDLLDivs={{2,2,24},{2,2,24},{2,2,24},{2,2,24}}"}},
    {"NumSubFramePerFrame0",
     {"//NumSubFramePerFrame={1,0,0,0}", "//NumSubFramePerFrame={1,0,0,0}",
      "//NumSubFramePerFrame={1,1,0,0}", "//NumSubFramePerFrame={1,1,0,0}",
      "//NumSubFramePerFrame={1,0,0,0}", "//NumSubFramePerFrame={1,0,0,0}",
      "//NumSubFramePerFrame={1,0,0,0}"}},
};

const std::vector<std::string> kAlgorithmLines = {
    "[DenoisingParams]", "TDenoiseLevel_Depth=3", "SDenoiseLevel_Depth=3", "TDenoiseMethod_Depth=1",
    "SDenoiseMethod_Depth=1", "TDenoiseLevel_Gray=1", "SDenoiseLevel_Gray=1",
    "TDenoiseMethod_Gray=1", "SDenoiseMethod_Gray=1", "", "[RepairParams]", "ERDOLvl=3", "",
    "[ConfidenceParams]", "ValidDistMin=0", "ValidDistMax=7000"};

const std::vector<std::string> kRegisterLines = {
    "[SENSOR]",
    "0x0C28=0x00000000", "0x0C02=0x00011410", "0x0224=0x00000001", "0x0C07=0x0800108A",
    "0x0C20=0x14000000", "0x0432=0x0d6649A6", "0x0721=0x0000000F", "0x072B=0x13271313",
    "0x0C01=0x00000053", "0x0C04=0x00000002", "0x0437=0x04285602", "0x0408=0x80000255",
    "0x0AB4=0x00000303", "0x0435=0x0000007f", "0x0C06=0x00641203", "0x0482=0x08384100",
    "0x0487=0x08384100", "0x048C=0x08384100", "0x0491=0x08384100", "0x0402=0x01600A00",
    "0x0475=0x00000064", "0x0476=0x000003E8", "0x0434=0x11190720", "0x0429=0x00989680",
    "",
    "0x0722=0x00072020", "0x0725=0x00202003", "0x0708=0x10130002", "0x0709=0x01940201",
    "0x070a=0x01019201", "0x070b=0x9a0101a4", "0x070c=0x019b0101", "0x070D=0x00009c01",
    "",
    "[VDRIVER]",
    "0x00=0x10", "0x01=0x7a", "0x02=0xca", "0x03=0x22", "0x04=0x14", "0x05=0x42", "0x06=0x9a",
    "0x07=0x42", "0x08=0xca", "0x09=0x07", "0x0a=0x06", "0x0b=0xd5", "0x0c=0x28", "0x0d=0x90",
    "0x0e=0xd0", "0x0F=0xd3", "0x10=0x0c", "0x11=0x00", "0x12=0x01", "0x13=0x11", "0x23=0x04",
    "0x24=0xE0", "0x25=0x00", "0x26=0x0a", "0x27=0x01", "0x28=0x00", "0x29=0x05", "0x2b=0xf1",
    "0x2c=0xc8", "0x2d=0x03", "0x2e=0x01", "0x2f=0xe0", "0x30=0xff", "0x31=0x00", "0x32=0x00"};

// Expected lines of one work-mode section after its header: comments and 53 keys.
std::vector<std::string> expectedModeLines(size_t section)
{
    const std::map<std::string, std::string> common = commonValues();
    std::vector<std::string> lines;
    for (const std::string& key : modeKeys()) {
        for (const auto& c : kComments)
            if (c.first == key) lines.push_back(c.second[section]);
        auto diff = kDiffering.find(key);
        const std::string value =
            diff != kDiffering.end() ? diff->second[section] : common.at(key);
        lines.push_back(key + "=" + value);
    }
    return lines;
}

class ConfigFilesTest : public ::testing::Test {
protected:
    ScratchDir dir;
};

}  // namespace

TEST(ConfigTables, DescribeFiftyThreeKeysPerSection)
{
    // The expected tables themselves: every key is either common or differing, once.
    const std::vector<std::string> keys = modeKeys();
    ASSERT_EQ(keys.size(), 53u);
    const auto common = commonValues();
    for (const std::string& k : keys)
        EXPECT_EQ(common.count(k) + kDiffering.count(k), 1u) << k;
    EXPECT_EQ(common.size() + kDiffering.size(), 53u);
}

TEST_F(ConfigFilesTest, WritesThreeFilesOfTheExactSizes)
{
    ASSERT_TRUE(writeDepthConfigFiles());
    EXPECT_EQ(std::filesystem::file_size("ConfigAlgorithm.json"), 273u);
    EXPECT_EQ(std::filesystem::file_size("ConfigCamera.json"), 9476u);
    EXPECT_EQ(std::filesystem::file_size("register.json"), 946u);
}

TEST_F(ConfigFilesTest, AlgorithmFileLinesAndFinalLineEnd)
{
    ASSERT_TRUE(writeDepthConfigFiles());
    const std::string text = readFile("ConfigAlgorithm.json");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(splitLines(text), kAlgorithmLines);
}

TEST_F(ConfigFilesTest, CameraFileSectionsKeysAndValues)
{
    ASSERT_TRUE(writeDepthConfigFiles());
    const std::string text = readFile("ConfigCamera.json");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    const std::vector<std::string> blocks = splitBlocks(text);
    ASSERT_EQ(blocks.size(), 8u);
    EXPECT_EQ(splitLines(blocks[0]),
              (std::vector<std::string>{"[VideoInfo]", "sensorType=TOF",
                                        "sensorPath=/dev/v4l-subdev2", "ispPath=/dev/video11",
                                        "subIspPath=/dev/v4l-subdev3"}));
    for (size_t s = 0; s < 7; ++s) {
        std::vector<std::string> lines = splitLines(blocks[s + 1]);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "[" + std::string(kModeSections[s]) + "]");
        lines.erase(lines.begin());
        const std::vector<std::string> expected = expectedModeLines(s);
        ASSERT_EQ(lines.size(), expected.size()) << kModeSections[s];
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], expected[i]) << kModeSections[s] << " line " << i + 1;
    }
}

TEST_F(ConfigFilesTest, RegisterFileLinesInOrder)
{
    ASSERT_TRUE(writeDepthConfigFiles());
    const std::string text = readFile("register.json");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(splitLines(text), kRegisterLines);
}

TEST_F(ConfigFilesTest, LongerExistingFilesAreTruncated)
{
    ASSERT_TRUE(writeDepthConfigFiles());
    const std::string fresh[] = {readFile("ConfigAlgorithm.json"), readFile("ConfigCamera.json"),
                                 readFile("register.json")};
    const char* names[] = {"ConfigAlgorithm.json", "ConfigCamera.json", "register.json"};
    for (const char* n : names) vga_test::writeFile(n, std::string(20000, 'x'));
    ASSERT_TRUE(writeDepthConfigFiles());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(readFile(names[i]), fresh[i]) << names[i];
}

TEST_F(ConfigFilesTest, UnopenableCameraFileStopsBeforeRegister)
{
    std::filesystem::create_directory("ConfigCamera.json");
    vga_test::writeFile("register.json", "left alone");
    EXPECT_FALSE(writeDepthConfigFiles());
    EXPECT_EQ(std::filesystem::file_size("ConfigAlgorithm.json"), 273u);
    EXPECT_EQ(readFile("register.json"), "left alone");

    std::filesystem::remove("register.json");
    EXPECT_FALSE(writeDepthConfigFiles());
    EXPECT_FALSE(std::filesystem::exists("register.json"));
}

TEST_F(ConfigFilesTest, DeviceStartFailsWhenAFileCannotBeWritten)
{
    vga_test::ScriptedSensor sensor;
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    ASSERT_EQ(device.open(&sensor), 0);
    std::filesystem::create_directory("ConfigCamera.json");
    vga_test::writeFile("register.json", "left alone");
    EXPECT_EQ(device.initProcess(), -1);
    EXPECT_EQ(std::filesystem::file_size("ConfigAlgorithm.json"), 273u);
    EXPECT_EQ(readFile("register.json"), "left alone");
    // The library instance was not touched: once the files can be written, it starts.
    std::filesystem::remove("ConfigCamera.json");
    EXPECT_EQ(device.initProcess(), 0);
    EXPECT_EQ(std::filesystem::file_size("register.json"), 946u);
}
