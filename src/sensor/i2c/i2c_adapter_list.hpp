// The I2C adapters present on the system, as gathered by listI2cAdapters: a growable
// array that always ends with an entry whose name is null. Allocation failures are
// reported by the methods rather than thrown, so the caller can print its own message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {

struct I2cAdapterEntry {
    int32_t number;     // N of "/dev/i2c-N"
    char* name;         // null only in the terminating entry
    char* kind;         // "i2c", "smbus", "dummy", "isa", "unknown" or as /proc/bus/i2c says
    char* description;
};

class I2cAdapterList {
public:
    I2cAdapterList() = default;
    ~I2cAdapterList();
    I2cAdapterList(const I2cAdapterList&) = delete;
    I2cAdapterList& operator=(const I2cAdapterList&) = delete;

    // Appends copies of the texts. False when memory ran out; the list is then unchanged.
    bool append(int32_t number, const char* name, const char* kind, const char* description);
    // Releases every entry and its texts.
    void clear();

    size_t size() const { return count_; }
    // The entries followed by the terminating entry; never null.
    const I2cAdapterEntry* entries() const;
    const I2cAdapterEntry& operator[](size_t i) const { return entries_[i]; }

    static constexpr size_t kGrowth = 8;

private:
    bool reserveOneMore();

    I2cAdapterEntry* entries_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

}  // namespace Telmora
