// Runs the adapter listing with each of its allocations failing in turn. The array
// forms of operator new and delete are replaced for this executable: the list allocates
// through the non-throwing one so that running out of memory is reported, not thrown.
// All array forms go to the scalar ones, so allocations and releases stay paired.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "fake_kernel.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"

namespace {

int fail_countdown = -1;  // the allocation that fails (0: the next one); -1: none
int allocations = 0;      // made while counting
int live = 0;             // not yet released while counting
bool counting = false;

}  // namespace

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (counting && fail_countdown-- == 0) return nullptr;
    try {
        void* p = ::operator new(size);
        if (counting) ++allocations, ++live;
        return p;
    } catch (...) {
        return nullptr;
    }
}

void operator delete[](void* p) noexcept
{
    if (counting && p != nullptr) --live;
    ::operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }

namespace {

using Telmora::I2cAdapterList;
using Telmora::sim::FakeKernel;

void adapters(int count)
{
    FakeKernel::instance().reset();
    std::string lines;
    for (int bus = 0; bus < count; ++bus) lines += "i2c-" + std::to_string(bus) + "\ti2c\tbus\tI2C adapter\n";
    FakeKernel::instance().file("/proc/bus/i2c", lines);
}

int allocationsToList(int count)
{
    adapters(count);
    I2cAdapterList list;
    counting = true;
    allocations = 0;
    const bool listed = Telmora::listI2cAdapters(list);
    counting = false;
    EXPECT_TRUE(listed);
    EXPECT_EQ(list.size(), static_cast<size_t>(count));
    return allocations;
}

// Three texts an entry; the array grows by 8 and always keeps room for the terminating entry.
TEST(I2cOutOfMemory, ArrayGrowsEightAtATime)
{
    EXPECT_EQ(allocationsToList(7), 7 * 3 + 1);
    EXPECT_EQ(allocationsToList(8), 8 * 3 + 2);
    EXPECT_EQ(allocationsToList(15), 15 * 3 + 2);
    EXPECT_EQ(allocationsToList(16), 16 * 3 + 3);
}

TEST(I2cOutOfMemory, EveryFailedAllocationIsReportedAndNothingLeaks)
{
    const int needed = allocationsToList(9);
    adapters(9);

    for (int failing = 0; failing < needed; ++failing) {
        SCOPED_TRACE("failing allocation " + std::to_string(failing));
        I2cAdapterList adapters;
        live = 0;
        fail_countdown = failing;
        counting = true;
        testing::internal::CaptureStderr();
        const bool listedAll = Telmora::listI2cAdapters(adapters);
        counting = false;  // the capture itself allocates
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(listedAll);
        EXPECT_EQ(messages, "Error: Out of memory!\n");
        EXPECT_EQ(adapters.size(), 0u);
        EXPECT_EQ(adapters.entries()->name, nullptr);
        EXPECT_EQ(live, 0);
    }
    fail_countdown = -1;
}

TEST(I2cOutOfMemory, LookupGivesUp)
{
    adapters(9);
    fail_countdown = 0;
    counting = true;
    testing::internal::CaptureStderr();
    const int bus = Telmora::lookupI2cBus("bus");
    counting = false;
    const std::string messages = testing::internal::GetCapturedStderr();
    fail_countdown = -1;
    EXPECT_EQ(bus, -2);
    EXPECT_EQ(messages, "Error: Out of memory!\n");
}

}  // namespace
