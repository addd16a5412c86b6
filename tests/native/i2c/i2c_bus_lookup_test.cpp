#include "sensor/i2c/i2c_bus_lookup.hpp"

#include <gtest/gtest.h>
#include <linux/i2c-dev.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "fake_kernel.hpp"
#include "i2c_adapter.hpp"

using Telmora::I2cAdapterEntry;
using Telmora::I2cAdapterList;
using Telmora::listI2cAdapters;
using Telmora::lookupI2cBus;
using Telmora::sim::FakeKernel;
using Telmora::sim::I2cAdapter;

namespace {

FakeKernel& kernel() { return FakeKernel::instance(); }

constexpr const char* kNoMatch = "Error: I2C bus name doesn't match any bus present!\n";
constexpr const char* kNotUnique = "Error: I2C bus name is not unique!\n";
constexpr const char* kOutOfRange = "Error: I2C bus out of range!\n";

struct Lookup {
    int bus;
    std::string messages;
};

Lookup lookup(const char* name)
{
    testing::internal::CaptureStderr();
    const int bus = lookupI2cBus(name);
    return {bus, testing::internal::GetCapturedStderr()};
}

struct Listed {
    int32_t number;
    std::string name, kind, description;
    bool operator==(const Listed& o) const
    {
        return number == o.number && name == o.name && kind == o.kind && description == o.description;
    }
};

void PrintTo(const Listed& l, std::ostream* os)
{
    *os << "{" << l.number << ", \"" << l.name << "\", \"" << l.kind << "\", \"" << l.description << "\"}";
}

std::vector<Listed> listed(std::string* messages = nullptr)
{
    I2cAdapterList adapters;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(listI2cAdapters(adapters));
    const std::string printed = testing::internal::GetCapturedStderr();
    if (messages != nullptr) *messages = printed;
    else EXPECT_EQ(printed, "");
    std::vector<Listed> out;
    const I2cAdapterEntry* e = adapters.entries();
    for (; e->name != nullptr; ++e) out.push_back({e->number, e->name, e->kind, e->description});
    EXPECT_EQ(out.size(), adapters.size());
    return out;
}

std::string procLine(int bus, const std::string& name)
{
    return "i2c-" + std::to_string(bus) + "\ti2c       \t" + name + "\tI2C adapter\n";
}

// --- numeric bus names -------------------------------------------------------------

struct NumericCase {
    const char* name;
    int bus;
    const char* message;
};

class NumericBusName : public testing::TestWithParam<NumericCase> {};

TEST_P(NumericBusName, ReadWithAutomaticBase)
{
    kernel().reset();
    // An adapter named like the number must not be consulted for a numeric name.
    kernel().file("/proc/bus/i2c", procLine(99, GetParam().name));
    const Lookup result = lookup(GetParam().name);
    EXPECT_EQ(result.bus, GetParam().bus);
    EXPECT_EQ(result.messages, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, NumericBusName,
                         testing::Values(NumericCase{"10", 10, ""}, NumericCase{"0x1f", 31, ""},
                                         NumericCase{"017", 15, ""}, NumericCase{"0", 0, ""},
                                         NumericCase{"1048575", 1048575, ""},
                                         NumericCase{"0xFFFFF", 1048575, ""},
                                         NumericCase{"1048576", -2, kOutOfRange},
                                         NumericCase{"99999999999999999999999", -2, kOutOfRange}));

// --- name lookup -------------------------------------------------------------------

struct NameCase {
    const char* label;
    const char* name;
    int bus;
    const char* message;
};

class AdapterName : public testing::TestWithParam<NameCase> {};

TEST_P(AdapterName, MatchesExactlyOneAdapter)
{
    kernel().reset();
    kernel().file("/proc/bus/i2c", procLine(1, "bcm2835 (i2c@7e804000)") + procLine(10, "i2c-csi-dsi") +
                                       procLine(11, "twin") + procLine(12, "twin") +
                                       "i2c-20\tsmbus     \t\tSMBus adapter\n");
    const Lookup result = lookup(GetParam().name);
    EXPECT_EQ(result.bus, GetParam().bus);
    EXPECT_EQ(result.messages, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdapterName,
    testing::Values(NameCase{"Unique", "i2c-csi-dsi", 10, ""},
                    NameCase{"WithBlanks", "bcm2835 (i2c@7e804000)", 1, ""},
                    NameCase{"EmptyNameMatchesEmptyAdapterName", "", 20, ""},
                    NameCase{"CaseSensitive", "I2C-CSI-DSI", -2, kNoMatch},
                    NameCase{"PrefixIsNoMatch", "i2c-csi", -2, kNoMatch},
                    NameCase{"NotANumber", "12abc", -2, kNoMatch},
                    NameCase{"Twice", "twin", -2, kNotUnique}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.label); });

TEST(BusLookup, EmptyNameWithoutAdaptersMatchesNothing)
{
    kernel().reset();  // neither /proc/bus/i2c nor /proc/mounts
    const Lookup result = lookup("");
    EXPECT_EQ(result.bus, -2);
    EXPECT_EQ(result.messages, kNoMatch);
    EXPECT_EQ(lookup(nullptr).messages, kNoMatch);
}

// --- /proc/bus/i2c -----------------------------------------------------------------

TEST(ProcBusI2c, FieldsTakenFromTheRight)
{
    kernel().reset();
    kernel().file("/proc/bus/i2c",
                  "i2c-0\tsmbus     \tSMBus I801 adapter at 0400  \tNon-I2C SMBus adapter  \r\n"
                  "i2c-3\textra\ti2c\tthree\tdesc\n"           // four tabs: the kind is the third field from the right
                  "i2c-4\ti2c\tno description\n"              // two tabs: skipped
                  "garbage\ti2c\tname\tdesc\n"                // no bus number: skipped
                  "i2c-x\ti2c\tname\tdesc\n"
                  "i2c-99999999999\ti2c\tname\tdesc\n"        // beyond int32: skipped
                  "i2c-7\ti2c\tseven\tlast line without end");
    const std::vector<Listed> expected{{0, "SMBus I801 adapter at 0400", "smbus", "Non-I2C SMBus adapter"},
                                       {3, "three", "i2c", "desc"},
                                       {7, "seven", "i2c", "last line without end"}};
    EXPECT_EQ(listed(), expected);
}

// A line beyond 119 characters is cut; its rest must not come back as a line of its own.
TEST(ProcBusI2c, OverlongLineIsCut)
{
    kernel().reset();
    const std::string head = "i2c-5\ti2c\tlong\t";
    const std::string tail = "i2c-66\ti2c\tghost\tfrom the tail";
    kernel().file("/proc/bus/i2c", head + std::string(119 - head.size(), 'd') + tail + "\n" + procLine(6, "six"));
    const std::vector<Listed> entries = listed();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (Listed{5, "long", "i2c", std::string(119 - head.size(), 'd')}));
    EXPECT_EQ(entries[1], (Listed{6, "six", "i2c", "I2C adapter"}));
}

// --- sysfs -------------------------------------------------------------------------

class SysfsAdapters : public testing::Test {
protected:
    void SetUp() override
    {
        kernel().reset();
        kernel().file("/proc/mounts",
                      "proc /proc proc rw,nosuid 0 0\n"
                      "tmpfs /sysfs tmpfs rw 0 0\n"
                      "none /sysroot SysFS rw,nosuid,nodev 0 0\n"
                      "sysfs /sys sysfs rw 0 0\n");
    }

    // An adapter directory with its node; `functionality` < 0: no node at all.
    void adapter(int bus, const std::string& name_file, const std::string& name, long functionality)
    {
        const std::string dir = "/sysroot/class/i2c-dev/i2c-" + std::to_string(bus);
        kernel().dir(dir);
        if (!name_file.empty()) kernel().file(dir + "/" + name_file, name);
        if (functionality >= 0)
            kernel().charDevice("/dev/i2c-" + std::to_string(bus), 89, static_cast<unsigned>(bus),
                                std::make_shared<I2cAdapter>(static_cast<unsigned long>(functionality)));
    }
};

TEST_F(SysfsAdapters, NamesKindsAndFallbacks)
{
    adapter(1, "name", "plain\n", I2cAdapter::kPlainI2c | I2cAdapter::kSmbusByteWord);
    adapter(2, "device/name", "from device\n", 0x20000);  // SMBus read byte only
    adapter(3, "device/i2c-3/name", "from child\n", 0x10000);  // SMBus quick only: dummy
    adapter(4, "name", "ISA main\n", -1);
    adapter(5, "name", "no node", -1);
    adapter(6, "name", "ISAbus\n", 0);
    const std::vector<Listed> expected{{1, "plain", "i2c", "I2C adapter"},
                                       {2, "from device", "smbus", "SMBus adapter"},
                                       {3, "from child", "dummy", "Dummy bus"},
                                       {4, "ISA main", "isa", "ISA bus"},
                                       {5, "no node", "unknown", "N/A"},
                                       {6, "ISAbus", "dummy", "Dummy bus"}};
    EXPECT_EQ(listed(), expected);
    EXPECT_EQ(kernel().openDescriptors(), 0);
}

TEST_F(SysfsAdapters, ChildFallbackTakesTheFirstI2cEntryWhoseNameOpens)
{
    kernel().file("/sysroot/class/i2c-dev/i2c-9/device/power/name", "not an adapter\n");
    kernel().dir("/sysroot/class/i2c-dev/i2c-9/device/i2c-8");
    kernel().file("/sysroot/class/i2c-dev/i2c-9/device/i2c-9/name", "nine\n");
    kernel().file("/sysroot/class/i2c-dev/i2c-9/device/i2c-10/name", "ten\n");
    EXPECT_EQ(listed(), (std::vector<Listed>{{9, "nine", "unknown", "N/A"}}));
}

TEST_F(SysfsAdapters, FailedQueryIsUnknown)
{
    adapter(1, "name", "queried\n", I2cAdapter::kPlainI2c);
    kernel().failIoctl(I2C_FUNCS, EIO);
    EXPECT_EQ(listed(), (std::vector<Listed>{{1, "queried", "unknown", "N/A"}}));
    EXPECT_EQ(kernel().openDescriptors(), 0);
}

TEST_F(SysfsAdapters, SkippedEntries)
{
    adapter(1, "", "", 1);                         // no name file anywhere
    adapter(2, "name", "", 1);                     // empty name file: read error
    kernel().file("/sysroot/class/i2c-dev/bus/name", "no number\n");
    kernel().file("/sysroot/class/i2c-dev/" + std::string(240, 'i') + "/name", "path too long\n");
    adapter(3, "name", "kept\n", 1);
    std::string messages;
    EXPECT_EQ(listed(&messages), (std::vector<Listed>{{3, "kept", "i2c", "I2C adapter"}}));
    EXPECT_EQ(messages, "/sysroot/class/i2c-dev/i2c-2/name: read error\n");
}

TEST_F(SysfsAdapters, UniqueNameLookup)
{
    adapter(10, "name", "i2c-csi-dsi\n", 1);
    adapter(11, "device/name", "twin\n", 1);
    adapter(12, "device/name", "twin\n", 1);
    EXPECT_EQ(lookup("i2c-csi-dsi").bus, 10);
    const Lookup twice = lookup("twin");
    EXPECT_EQ(twice.bus, -2);
    EXPECT_EQ(twice.messages, kNotUnique);
}

TEST_F(SysfsAdapters, ProcBusI2cWinsOverSysfs)
{
    adapter(1, "name", "from sysfs\n", 1);
    kernel().file("/proc/bus/i2c", "");
    EXPECT_TRUE(listed().empty());
}

TEST_F(SysfsAdapters, NoSysfsMountMeansNoAdapters)
{
    adapter(1, "name", "unreachable\n", 1);
    kernel().file("/proc/mounts", "proc /proc proc rw 0 0\nsysfs /sysroot\n");
    EXPECT_TRUE(listed().empty());
    kernel().remove("/proc/mounts");
    EXPECT_TRUE(listed().empty());
}

TEST_F(SysfsAdapters, ListGrowsPastItsFirstBlocks)
{
    for (int bus = 0; bus < 20; ++bus) adapter(bus, "name", "bus " + std::to_string(bus) + "\n", 1);
    const std::vector<Listed> entries = listed();
    ASSERT_EQ(entries.size(), 20u);
    for (int bus = 0; bus < 20; ++bus) EXPECT_EQ(entries[bus], (Listed{bus, "bus " + std::to_string(bus), "i2c", "I2C adapter"}));
}

}  // namespace
