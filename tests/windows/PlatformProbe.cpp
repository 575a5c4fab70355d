// A test DLL built from the runtime's Windows platform files and the image
// resources, exactly as Tonarvo.dll has them, with the seam exported so the
// test host can see what the runtime sees from inside a DLL.
#include <cstring>
#include <string>

#include "runtime/ModulePath.h"
#include "runtime/platform/Platform.h"

namespace {
int copyOut(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return -1;
    const std::size_t n = text.size() < static_cast<std::size_t>(size - 1) ? text.size() : static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(text.size());
}
}  // namespace

extern "C" {
__declspec(dllexport) int probeModulePath(char* buffer, int size) { return copyOut(platform::modulePath(), buffer, size); }
__declspec(dllexport) int probeResolvePath(const char* name, char* buffer, int size) {
    return copyOut(plexa::resolvePath(name), buffer, size);
}
__declspec(dllexport) int probeTraceFilePath(char* buffer, int size) {
    return copyOut(platform::traceFilePath(), buffer, size);
}
__declspec(dllexport) int probeResource(int number, const unsigned char** bytes, std::size_t* size) {
    return platform::loadDataResource(number, bytes, size) ? 1 : 0;
}
__declspec(dllexport) int probeFrameClockMs() { return platform::frameClockMs(); }
__declspec(dllexport) long long probeCalendarSeconds() { return platform::calendarSeconds(); }
__declspec(dllexport) double probeTimeOfDaySeconds() { return platform::timeOfDaySeconds(); }
__declspec(dllexport) int probeRandomNumber() { return platform::randomNumber(); }
}
