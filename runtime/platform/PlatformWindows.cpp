#include "runtime/platform/PlatformWindows.h"

#include <sys/time.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

#include "runtime/platform/Platform.h"
#include "runtime/platform/PlatformNative.h"

namespace {
// Written by the loader's thread, read from whichever thread loads an image.
std::atomic<HMODULE> gModule{nullptr};
}  // namespace

// Every notification (process and thread attach and detach) carries this
// library's handle, so storing it each time needs no bookkeeping of which
// notification came first. Answering TRUE keeps a process attach from failing.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    gModule.store(instance, std::memory_order_relaxed);
    return TRUE;
}

namespace platform::windows {
HMODULE moduleHandle() { return gModule.load(std::memory_order_relaxed); }
}  // namespace platform::windows

namespace platform::native {

std::string modulePath() {
    // A null handle names the executable: the right answer for a program that
    // links the runtime directly, as the unit tests do.
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(windows::moduleHandle(), buffer, MAX_PATH);
    return std::string(buffer, length < MAX_PATH ? length : MAX_PATH);
}

// The C runtime's clock() counts wall-clock milliseconds since the process
// started on Windows (not processor time as on Linux), which is what the
// editor's frame timer wants.
std::int32_t frameClockMs() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::clock()));
}

std::int64_t calendarSeconds() { return static_cast<std::int64_t>(_time64(nullptr)); }

double timeOfDaySeconds() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 0.000001;
}

int randomNumber() { return std::rand(); }

int beep(unsigned frequencyHz, unsigned durationMs) { return Beep(frequencyHz, durationMs) ? 1 : 0; }

// The root folder of the current drive.
std::string traceFilePath() { return "\\wisp.log.txt"; }

}  // namespace platform::native
