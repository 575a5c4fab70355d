// The few things the portable code needs from the operating system. Each
// platform provides one implementation file; tests may replace the clocks,
// the random source, the beep and the trace file location through the hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Full path of the plug-in library file itself (not the host executable).
std::string modulePath();

// Bytes of built-in resource `number` of type "DATA" in the plug-in library;
// false when there is none.
bool loadDataResource(int number, const unsigned char** bytes, std::size_t* size);

// Milliseconds of a clock that only moves forward; wraps in 32 bits.
std::int32_t frameClockMs();
// Milliseconds from an earlier frameClockMs reading to now, counted forward
// across the wrap: never negative, however long ago it was taken.
inline std::uint32_t frameClockMsSince(std::int32_t then) {
    return static_cast<std::uint32_t>(frameClockMs()) - static_cast<std::uint32_t>(then);
}
// Calendar time, whole seconds since 1970.
std::int64_t calendarSeconds();
// Time of day as seconds plus microseconds * 1e-6.
double timeOfDaySeconds();
// A pseudo-random number from 0 to 32767.
int randomNumber();
// System beep; nonzero on success.
int beep(unsigned frequencyHz, unsigned durationMs);
// Where the debug trace goes.
std::string traceFilePath();

// Replacements for tests. A null member means: use the platform.
struct Hooks {
    std::int32_t (*frameClockMs)() = nullptr;
    std::int64_t (*calendarSeconds)() = nullptr;
    double (*timeOfDaySeconds)() = nullptr;
    int (*randomNumber)() = nullptr;
    int (*beep)(unsigned, unsigned) = nullptr;
    const char* traceFilePath = nullptr;
    const char* modulePath = nullptr;
    bool (*loadDataResource)(int, const unsigned char**, std::size_t*) = nullptr;
};

// Installs hooks for the whole process; returns the previous set.
Hooks setHooks(const Hooks& hooks);

}  // namespace platform
