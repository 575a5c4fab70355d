// The host's environment for the face fuzzers: an X display with a window of
// the host's for editors (when there is a display), the clock and the
// settings folder.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "FaceFuzz.h"
#include "runtime/platform/Platform.h"
#include "tests/support/X11Support.h"

namespace facefuzz {

namespace display {
namespace {

struct Host {
    Host() {
        if (std::getenv("DISPLAY") == nullptr) return;
        x = XOpenDisplay(nullptr);
        if (x) parent = x11_test::makeTopLevel(x, 800, 500);
    }
    Display* x = nullptr;
    Window parent = 0;
};

Host& host() {
    static Host* made = new Host;  // kept for the process: editors may outlive any one input
    return *made;
}

}  // namespace

bool available() { return host().parent != 0; }
std::uintptr_t parentWindow() { return host().parent; }

int childWindows() {
    if (!available()) return 0;
    XSync(host().x, False);
    return static_cast<int>(x11_test::children(host().x, host().parent).size());
}

std::uintptr_t editorWindow() {
    if (!available()) return 0;
    XSync(host().x, False);
    const std::vector<Window> found = x11_test::children(host().x, host().parent);
    return found.empty() ? 0 : found.back();
}

bool sendPointer(std::uintptr_t window, int kind, double x, double y, unsigned button) {
    if (!available() || window == 0) return false;
    // Through the server's own input path (XTest), as a user's hand: the
    // pointer moves over the window first, the press grabs it.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XWindowAttributes size{};
    const bool exists = XGetWindowAttributes(host().x, static_cast<Window>(window), &size) != 0;
    if (exists) {
        x11_test::pointerTo(host().x, static_cast<Window>(window), static_cast<int>(x * size.width),
                            static_cast<int>(y * size.height));
        if (kind != 2) x11_test::button(host().x, button, kind == 0);
    }
    XSync(host().x, False);
    XSetErrorHandler(previous);
    // The server has taken the input; what it sends the editor's own
    // connection arrives a moment later.
    usleep(3000);
    return exists;
}

}  // namespace display

namespace {
std::atomic<std::int32_t> gClockMs{0};
std::atomic<std::uint32_t> gRandom{1};
}  // namespace

void installClock() {
    platform::Hooks hooks;
    hooks.frameClockMs = [] { return gClockMs.load(std::memory_order_relaxed); };
    hooks.calendarSeconds = []() -> std::int64_t { return 1731024000; };
    hooks.timeOfDaySeconds = [] { return 1731024000.25; };
    hooks.randomNumber = [] {
        const std::uint32_t next = gRandom.load(std::memory_order_relaxed) * 1103515245u + 12345u;
        gRandom.store(next, std::memory_order_relaxed);
        return static_cast<int>((next >> 16) & 0x7FFF);
    };
    platform::setHooks(hooks);
}

void resetClock() {
    gClockMs.store(1000, std::memory_order_relaxed);
    gRandom.store(1, std::memory_order_relaxed);
}

void advanceClock(std::int32_t milliseconds) { gClockMs.fetch_add(milliseconds, std::memory_order_relaxed); }

namespace {
char gSettingsFolder[] = "/tmp/tonarvo-fuzz-settings-XXXXXX";
}  // namespace

void isolateSettings() {
    static const bool done = [] {
        if (mkdtemp(gSettingsFolder)) {
            setenv("XDG_CONFIG_HOME", gSettingsFolder, 1);
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(gSettingsFolder, ignored);
            });
        }
        unsetenv("TONARVO_SCALE");
        unsetenv("GDK_SCALE");
        return true;
    }();
    (void)done;
}

}  // namespace facefuzz
