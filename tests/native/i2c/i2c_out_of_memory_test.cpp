// Runs the adapter listing with each of its allocations failing in turn. The array forms
// of operator new and delete are replaced for this executable (the list allocates through
// the non-throwing one); all of them go to the scalar forms so that pairs stay matched.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "fake_kernel.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"

namespace {
int fail_countdown = -1;  // the allocation to fail (0: the next); -1: none
int allocations = 0;      // made while counting
int live = 0;             // made and not released while counting
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

// The listing's result with allocation `failing` refused; its messages in `messages`.
bool listWithFailure(int failing, std::string& messages, size_t& size)
{
    Telmora::I2cAdapterList adapters;
    fail_countdown = failing;
    allocations = live = 0;
    counting = true;
    testing::internal::CaptureStderr();
    const bool listed = Telmora::listI2cAdapters(adapters);
    size = adapters.size();
    adapters.clear();
    counting = false;
    fail_countdown = -1;
    messages = testing::internal::GetCapturedStderr();
    return listed;
}

TEST(I2cOutOfMemory, EveryFailedAllocationIsReportedAndReleased)
{
    std::string lines;
    for (int bus = 0; bus < 8; ++bus) lines += "i2c-" + std::to_string(bus) + "\ti2c\tbus\tI2C adapter\n";
    Telmora::sim::FakeKernel::instance().reset();
    Telmora::sim::FakeKernel::instance().file("/proc/bus/i2c", lines);

    std::string messages;
    size_t size = 0;
    ASSERT_TRUE(listWithFailure(-1, messages, size));
    const int needed = allocations;
    ASSERT_EQ(needed, 8 * 3 + 2);  // three texts an entry; the array grows by 8 and keeps room for its end
    for (int failing = 0; failing < needed; ++failing) {
        SCOPED_TRACE("failing allocation " + std::to_string(failing));
        EXPECT_FALSE(listWithFailure(failing, messages, size));
        EXPECT_EQ(messages, "Error: Out of memory!\n");
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(live, 0);
    }
    fail_countdown = 0;
    counting = true;
    testing::internal::CaptureStderr();
    const int bus = Telmora::lookupI2cBus("bus");
    counting = false;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Out of memory!\n");
    EXPECT_EQ(bus, -2);
}

}  // namespace
