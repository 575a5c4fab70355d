#include <dlfcn.h>
#include <sys/time.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "runtime/platform/Platform.h"
#include "runtime/platform/PlatformNative.h"

namespace platform::native {

std::string modulePath() {
    // Any address inside this library names the library, whatever the host
    // executable is; dladdr reports the path the loader used, which may be relative.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || info.dli_fname == nullptr) return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
    return info.dli_fname;
}

std::int32_t frameClockMs() {
    // clock() would count processor time on Linux; the frame timer wants elapsed time.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::int64_t ms = static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms));
}

std::int64_t calendarSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

double timeOfDaySeconds() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 0.000001;
}

// The interface's odds are written for a generator of 0 to 32767, the range
// of the Windows runtime's rand; glibc's reaches 2^31 - 1. The same linear
// congruential sequence (seed 1) gives both platforms the same behaviour.
int randomNumber() {
    thread_local std::uint32_t state = 1;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

// There is no system beep a library can sound on Linux without a display
// connection; report success so the trace behaves as on Windows.
int beep(unsigned, unsigned) { return 1; }

// The trace names the root of the current drive on Windows; the root folder is
// its counterpart here (unwritable for most users, and then silently dropped).
std::string traceFilePath() { return "/wisp.log.txt"; }

}  // namespace platform::native
