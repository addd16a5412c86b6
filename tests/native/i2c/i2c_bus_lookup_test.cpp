#include "sensor/i2c/i2c_bus_lookup.hpp"

#include <gtest/gtest.h>
#include <linux/i2c-dev.h>

#include <memory>
#include <string>

#include "fake_kernel.hpp"
#include "i2c_adapter.hpp"

using Telmora::sim::FakeKernel;
using Telmora::sim::I2cAdapter;

namespace {

FakeKernel& kernel() { return FakeKernel::instance(); }

constexpr const char* kNoMatch = "Error: I2C bus name doesn't match any bus present!\n";
constexpr const char* kNotUnique = "Error: I2C bus name is not unique!\n";

// The lookup's result and messages, as "<bus> <messages>".
std::string lookup(const char* name)
{
    testing::internal::CaptureStderr();
    const int bus = Telmora::lookupI2cBus(name);
    return std::to_string(bus) + " " + testing::internal::GetCapturedStderr();
}

// Every entry as "number|name|kind|description;", then the listing's messages.
std::string listing()
{
    Telmora::I2cAdapterList adapters;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Telmora::listI2cAdapters(adapters));
    std::string out;
    for (const Telmora::I2cAdapterEntry* e = adapters.entries(); e->name != nullptr; ++e)
        out += std::to_string(e->number) + "|" + e->name + "|" + e->kind + "|" + e->description + ";";
    return out + testing::internal::GetCapturedStderr();
}

std::string procLine(int bus, const std::string& name)
{
    return "i2c-" + std::to_string(bus) + "\ti2c       \t" + name + "\tI2C adapter\n";
}

struct LookupCase {
    const char* name;
    std::string expected;
};

class BusLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(BusLookup, NumberOrUniqueAdapterName)
{
    kernel().reset();
    kernel().file("/proc/bus/i2c", procLine(1, "bcm2835 (i2c@7e804000)") + procLine(10, "i2c-csi-dsi") +
                                       procLine(11, "twin") + procLine(12, "twin") + procLine(13, "10") +
                                       "i2c-20\tsmbus     \t\tSMBus adapter\n");
    EXPECT_EQ(lookup(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BusLookup,
    testing::Values(LookupCase{"10", "10 "}, LookupCase{"0x1f", "31 "}, LookupCase{"017", "15 "},
                    LookupCase{"1048575", "1048575 "}, LookupCase{"1048576", "-2 Error: I2C bus out of range!\n"},
                    LookupCase{"99999999999999999999", "-2 Error: I2C bus out of range!\n"},
                    LookupCase{"i2c-csi-dsi", "10 "}, LookupCase{"bcm2835 (i2c@7e804000)", "1 "},
                    LookupCase{"", "20 "},  // an adapter with an empty name
                    LookupCase{"I2C-CSI-DSI", std::string("-2 ") + kNoMatch},
                    LookupCase{"12abc", std::string("-2 ") + kNoMatch},
                    LookupCase{"twin", std::string("-2 ") + kNotUnique}));

TEST(BusLookupWithoutAdapters, EmptyNameMatchesNothing)
{
    kernel().reset();  // neither /proc/bus/i2c nor /proc/mounts
    EXPECT_EQ(lookup(""), std::string("-2 ") + kNoMatch);
}

TEST(ProcBusI2c, FieldsFromTheRightAndBadLinesSkipped)
{
    const std::string head = "i2c-5\ti2c\tlong\t";
    kernel().reset();
    kernel().file("/proc/bus/i2c",
                  "i2c-0\tsmbus     \tSMBus I801 at 0400  \tNon-I2C SMBus adapter  \r\n"
                  "i2c-3\textra\ti2c\tthree\tdesc\n"  // four tabs
                  "i2c-4\ti2c\ttwo tabs only\n"
                  "garbage\ti2c\tname\tdesc\n"
                  "i2c-99999999999\ti2c\tname\tdesc\n" +
                      // cut at 119 characters: the rest must not come back as a line
                      head + std::string(119 - head.size(), 'd') + "i2c-66\ti2c\tghost\ttail\n" +
                      "i2c-7\ti2c\tseven\tno line end");
    EXPECT_EQ(listing(), "0|SMBus I801 at 0400|smbus|Non-I2C SMBus adapter;3|three|i2c|desc;5|long|i2c|" +
                             std::string(119 - head.size(), 'd') + ";7|seven|i2c|no line end;");
}

class Sysfs : public testing::Test {
protected:
    void SetUp() override
    {
        kernel().reset();
        kernel().file("/proc/mounts",
                      "proc /proc proc rw 0 0\ntmpfs /sysfs tmpfs rw 0 0\n"
                      "none /sysroot SysFS rw 0 0\nsysfs /sys sysfs rw 0 0\n");
    }
    // `functionality` < 0: no adapter node.
    void adapter(int bus, const std::string& name_file, const std::string& name, long functionality)
    {
        const std::string dir = "/sysroot/class/i2c-dev/i2c-" + std::to_string(bus);
        kernel().dir(dir);
        if (!name_file.empty()) kernel().file(dir + "/" + name_file, name);
        if (functionality >= 0)
            kernel().charDevice("/dev/i2c-" + std::to_string(bus), 89, 0,
                                std::make_shared<I2cAdapter>(static_cast<unsigned long>(functionality)));
    }
};

TEST_F(Sysfs, NameFallbacksAndKinds)
{
    adapter(1, "name", "plain\n", 0x7E0001);
    adapter(2, "device/name", "from device\n", 0x20000);
    kernel().file("/sysroot/class/i2c-dev/i2c-3/device/power/name", "not an adapter\n");
    kernel().dir("/sysroot/class/i2c-dev/i2c-3/device/i2c-8");  // no name file
    adapter(3, "device/i2c-3/name", "from child\n", 0x10000);
    kernel().file("/sysroot/class/i2c-dev/i2c-3/device/i2c-9/name", "second child\n");
    adapter(4, "name", "ISA main\n", -1);
    adapter(5, "name", "no node", -1);
    adapter(6, "name", "ISAbus\n", 0);
    adapter(7, "", "", 1);          // no name file: skipped
    adapter(8, "name", "", 1);      // empty name file: read error
    kernel().file("/sysroot/class/i2c-dev/bus/name", "no number\n");
    kernel().file("/sysroot/class/i2c-dev/" + std::string(240, 'i') + "/name", "path beyond 254\n");
    EXPECT_EQ(listing(),
              "1|plain|i2c|I2C adapter;2|from device|smbus|SMBus adapter;3|from child|dummy|Dummy bus;"
              "4|ISA main|isa|ISA bus;5|no node|unknown|N/A;6|ISAbus|dummy|Dummy bus;"
              "/sysroot/class/i2c-dev/i2c-8/name: read error\n");
    EXPECT_EQ(kernel().openDescriptors(), 0);

    kernel().failIoctl(I2C_FUNCS, EIO);
    EXPECT_EQ(listing().substr(0, 15), "1|plain|unknown");
    EXPECT_EQ(lookup("from child"), "3 /sysroot/class/i2c-dev/i2c-8/name: read error\n");
}

TEST_F(Sysfs, ProcBusI2cWinsAndSysfsMountIsRequired)
{
    adapter(1, "device/name", "twin\n", 1);
    adapter(2, "name", "twin\n", 1);
    EXPECT_EQ(lookup("twin"), std::string("-2 ") + kNotUnique);
    kernel().file("/proc/bus/i2c", "");
    EXPECT_EQ(listing(), "");
    kernel().remove("/proc/bus/i2c").file("/proc/mounts", "sysfs /sysroot\nproc /proc proc rw 0 0\n");
    EXPECT_EQ(listing(), "");
}

TEST_F(Sysfs, ListGrowsPastItsFirstBlocks)
{
    std::string expected;
    for (int bus = 0; bus < 20; ++bus) {
        adapter(bus, "name", "bus " + std::to_string(bus) + "\n", 1);
        expected += std::to_string(bus) + "|bus " + std::to_string(bus) + "|i2c|I2C adapter;";
    }
    EXPECT_EQ(listing(), expected);
}

}  // namespace
