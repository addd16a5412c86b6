#include "sensor/i2c/i2c_adapter_list.hpp"

#include <cstring>
#include <new>

namespace Telmora {

namespace {

const I2cAdapterEntry kEnd{0, nullptr, nullptr, nullptr};

char* copyText(const char* text)
{
    const size_t length = std::strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

void release(I2cAdapterEntry& entry)
{
    delete[] entry.name;
    delete[] entry.kind;
    delete[] entry.description;
    entry = kEnd;
}

}  // namespace

I2cAdapterList::~I2cAdapterList() { clear(); }

void I2cAdapterList::clear()
{
    for (size_t i = 0; i < count_; ++i) release(entries_[i]);
    delete[] entries_;
    entries_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

const I2cAdapterEntry* I2cAdapterList::entries() const { return entries_ != nullptr ? entries_ : &kEnd; }

// Keeps room for one more entry plus the terminating one, growing kGrowth at a time.
bool I2cAdapterList::reserveOneMore()
{
    if (count_ + 1 < capacity_) return true;
    const size_t capacity = capacity_ + kGrowth;
    I2cAdapterEntry* grown = new (std::nothrow) I2cAdapterEntry[capacity]();
    if (grown == nullptr) return false;
    if (count_ > 0) std::memcpy(grown, entries_, count_ * sizeof *grown);
    delete[] entries_;
    entries_ = grown;
    capacity_ = capacity;
    return true;
}

bool I2cAdapterList::append(int32_t number, const char* name, const char* kind, const char* description)
{
    I2cAdapterEntry entry{number, copyText(name), copyText(kind), copyText(description)};
    if (entry.name == nullptr || entry.kind == nullptr || entry.description == nullptr || !reserveOneMore()) {
        release(entry);
        return false;
    }
    entries_[count_++] = entry;
    entries_[count_] = kEnd;
    return true;
}

}  // namespace Telmora
