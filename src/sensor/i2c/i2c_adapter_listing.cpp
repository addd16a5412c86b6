// listI2cAdapters: the adapter list read from procfs or sysfs. Both are untrusted text:
// every line and path is bounded, and overlong lines are cut rather than split.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <strings.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sensor/i2c/i2c_bus_lookup.hpp"
#include "sys/sys.hpp"
#include "sys/text_file.hpp"
#include "telmora/i2c.hpp"

namespace Telmora {

namespace {

constexpr size_t kLineSize = 120;  // adapter lines and names: at most 119 characters
constexpr size_t kPathSize = 255;  // paths and "/proc/mounts" lines: at most 254 characters
constexpr unsigned long kSmbusByteWord = 0x7E0000;

struct AdapterKind {
    const char* kind;
    const char* description;
};

// Reads one line like fgets, but a line longer than the buffer is cut: its rest is
// skipped instead of coming back as a line of its own.
bool readLineCut(TextFile& file, char* line, size_t size)
{
    if (!file.readLine(line, size)) return false;
    size_t length = std::strlen(line);
    bool complete = length + 1 < size || line[length - 1] == '\n';
    char rest[64];
    while (!complete && file.readLine(rest, sizeof rest)) {
        length = std::strlen(rest);
        complete = length + 1 < sizeof rest || rest[length - 1] == '\n';
    }
    return true;
}

__attribute__((format(printf, 2, 3))) bool formatPath(char (&path)[kPathSize], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(path, sizeof path, format, args);
    va_end(args);
    return length >= 0 && static_cast<size_t>(length) < sizeof path;
}

// "i2c-N" at the start of `text`; false without digits or beyond the int32 range.
bool parseBusNumber(const char* text, int32_t& number)
{
    if (std::strncmp(text, "i2c-", 4) != 0) return false;
    const char* digit = text + 4;
    if (*digit < '0' || *digit > '9') return false;
    int64_t value = 0;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        value = value * 10 + (*digit - '0');
        if (value > INT32_MAX) return false;
    }
    number = static_cast<int32_t>(value);
    return true;
}

void trimEnd(char* text)
{
    size_t length = std::strlen(text);
    while (length > 0 && std::strchr(" \t\r\n", text[length - 1]) != nullptr) text[--length] = '\0';
}

// Splits off the field after the last tab of `line`; null when there is no tab.
char* splitLastField(char* line)
{
    char* tab = std::strrchr(line, '\t');
    if (tab == nullptr) return nullptr;
    *tab = '\0';
    trimEnd(tab + 1);
    return tab + 1;
}

// "i2c-N <tab> kind <tab> name <tab> description", the fields taken from the right.
bool readProcBusI2c(TextFile& file, I2cAdapterList& adapters)
{
    char line[kLineSize];
    while (readLineCut(file, line, sizeof line)) {
        const char* description = splitLastField(line);
        const char* name = description != nullptr ? splitLastField(line) : nullptr;
        const char* kind = name != nullptr ? splitLastField(line) : nullptr;
        int32_t number = 0;
        if (kind == nullptr || !parseBusNumber(line, number)) continue;
        if (!adapters.append(number, name, kind, description)) return false;
    }
    return true;
}

// The mount point of the first file system of type sysfs (any case) in "/proc/mounts".
bool findSysfs(char (&mount)[kPathSize])
{
    TextFile mounts("/proc/mounts");
    char line[kPathSize];
    char point[kPathSize];
    char type[kPathSize];
    while (readLineCut(mounts, line, sizeof line)) {
        if (std::sscanf(line, "%*[^ ] %254[^ ] %254[^ ] %*s\n", point, type) != 2) continue;
        if (strcasecmp(type, "sysfs") != 0) continue;
        std::memcpy(mount, point, sizeof mount);
        return true;
    }
    return false;
}

// Opens the adapter's name file: its own, its device's, or that of the first "i2c-*"
// entry of its device whose name file opens. `path` names the file opened.
bool openNameFile(const char* dir, const char* entry, char (&path)[kPathSize], std::optional<TextFile>& file)
{
    if (!formatPath(path, "%s/%s/name", dir, entry)) return false;
    if (file.emplace(path).isOpen()) return true;
    if (!formatPath(path, "%s/%s/device/name", dir, entry)) return false;
    if (file.emplace(path).isOpen()) return true;
    char device[kPathSize];
    std::vector<std::string> children;
    if (!formatPath(device, "%s/%s/device", dir, entry) || sys::listDir(device, children) != 0) return false;
    for (const std::string& child : children) {
        if (child.compare(0, 4, "i2c-") != 0) continue;
        if (!formatPath(path, "%s/%s/device/%s/name", dir, entry, child.c_str())) return false;
        if (file.emplace(path).isOpen()) return true;
    }
    return false;
}

AdapterKind adapterKind(int32_t number, const char* name)
{
    if (std::strncmp(name, "ISA ", 4) == 0) return {"isa", "ISA bus"};
    char node[20];
    const int fd = i2c_open_i2c_dev(number, node, sizeof node, 1);
    if (fd < 0) return {"unknown", "N/A"};
    unsigned long funcs = 0;
    const int result = sys::ioctl(fd, I2C_FUNCS, &funcs);
    sys::close(fd);
    if (result < 0) return {"unknown", "N/A"};
    if ((funcs & I2C_FUNC_I2C) != 0) return {"i2c", "I2C adapter"};
    if ((funcs & kSmbusByteWord) != 0) return {"smbus", "SMBus adapter"};
    return {"dummy", "Dummy bus"};
}

// Appends the adapter of sysfs entry `entry` unless it has to be skipped; false only
// when memory ran out.
bool addSysfsAdapter(const char* dir, const char* entry, I2cAdapterList& adapters)
{
    char path[kPathSize];
    std::optional<TextFile> file;
    if (!openNameFile(dir, entry, path, file)) return true;
    char name[kLineSize];
    if (!file->readLine(name, sizeof name)) {
        std::fprintf(stderr, "%s: read error\n", path);
        return true;
    }
    file.reset();
    name[std::strcspn(name, "\n")] = '\0';
    int32_t number = 0;
    if (!parseBusNumber(entry, number)) return true;
    const AdapterKind kind = adapterKind(number, name);
    return adapters.append(number, name, kind.kind, kind.description);
}

bool readSysfs(const char* mount, I2cAdapterList& adapters)
{
    char dir[kPathSize];
    std::vector<std::string> entries;
    if (!formatPath(dir, "%s/class/i2c-dev", mount) || sys::listDir(dir, entries) != 0) return true;
    for (const std::string& entry : entries) {
        if (entry == "." || entry == "..") continue;
        if (!addSysfsAdapter(dir, entry.c_str(), adapters)) return false;
    }
    return true;
}

bool readAdapters(I2cAdapterList& adapters)
{
    TextFile proc("/proc/bus/i2c");
    if (proc.isOpen()) return readProcBusI2c(proc, adapters);
    char mount[kPathSize];
    return !findSysfs(mount) || readSysfs(mount, adapters);
}

}  // namespace

bool listI2cAdapters(I2cAdapterList& adapters)
{
    adapters.clear();
    if (readAdapters(adapters)) return true;
    std::fprintf(stderr, "Error: Out of memory!\n");
    adapters.clear();
    return false;
}

}  // namespace Telmora
