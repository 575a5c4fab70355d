// Dispatch to test hooks, else to the platform's own implementation.
#include "runtime/platform/Platform.h"
#include "runtime/platform/PlatformNative.h"

namespace platform {
namespace {
Hooks gHooks;
}

Hooks setHooks(const Hooks& hooks) {
    const Hooks previous = gHooks;
    gHooks = hooks;
    return previous;
}

std::string modulePath() { return gHooks.modulePath ? std::string(gHooks.modulePath) : native::modulePath(); }
bool loadDataResource(int number, const unsigned char** bytes, std::size_t* size) {
    return gHooks.loadDataResource ? gHooks.loadDataResource(number, bytes, size)
                                   : native::loadDataResource(number, bytes, size);
}
std::int32_t frameClockMs() { return gHooks.frameClockMs ? gHooks.frameClockMs() : native::frameClockMs(); }
std::int64_t calendarSeconds() { return gHooks.calendarSeconds ? gHooks.calendarSeconds() : native::calendarSeconds(); }
double timeOfDaySeconds() { return gHooks.timeOfDaySeconds ? gHooks.timeOfDaySeconds() : native::timeOfDaySeconds(); }
int randomNumber() { return gHooks.randomNumber ? gHooks.randomNumber() : native::randomNumber(); }
int beep(unsigned frequencyHz, unsigned durationMs) {
    return gHooks.beep ? gHooks.beep(frequencyHz, durationMs) : native::beep(frequencyHz, durationMs);
}
std::string traceFilePath() {
    return gHooks.traceFilePath ? std::string(gHooks.traceFilePath) : native::traceFilePath();
}

}  // namespace platform
