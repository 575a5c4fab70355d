// Implemented once per operating system (PlatformLinux.cpp, PlatformWindows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::native {
std::string modulePath();
bool loadDataResource(int number, const unsigned char** bytes, std::size_t* size);
std::int32_t frameClockMs();
std::int64_t calendarSeconds();
double timeOfDaySeconds();
int randomNumber();
int beep(unsigned frequencyHz, unsigned durationMs);
std::string traceFilePath();
}  // namespace platform::native
