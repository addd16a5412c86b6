#include "camera/board_detection.hpp"

#include <cstring>

#include "sys/text_file.hpp"

namespace Telmora {

namespace {

bool has(const char* text, const char* word) { return std::strstr(text, word) != nullptr; }

Platform jetsonKind(const char* model)
{
    if (has(model, "Xavier")) return PLATFORM_JETSON;
    if (has(model, "TX1") || has(model, "Nano")) return PLATFORM_JETSON_NANO;
    return PLATFORM_JETSON;
}

}  // namespace

Platform platformFromModel(const char* model)
{
    if (has(model, "Jetson")) return jetsonKind(model);
    if (has(model, " Orin")) return PLATFORM_JETSON;
    if (has(model, "Raspberry")) return has(model, "Pi 5") ? PLATFORM_RASPBERRY_PI_5 : PLATFORM_RASPBERRY_PI;
    if (has(model, "Radxa ROCK")) return PLATFORM_RADXA_ROCK;
    return PLATFORM_UNKNOWN;
}

Platform detectPlatform()
{
    TextFile file("/sys/firmware/devicetree/base/model");
    if (!file.isOpen()) return PLATFORM_UNKNOWN;
    char line[100];  // at most 99 characters of the first line
    if (!file.readLine(line, sizeof line)) return PLATFORM_UNKNOWN;
    // The model ends with a NUL, not a newline; stop at whichever comes first.
    line[std::strcspn(line, "\n")] = '\0';
    return platformFromModel(line);
}

}  // namespace Telmora
