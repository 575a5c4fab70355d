// Tonarvo.clap's editor under Wine: a test host embeds it in a top-level
// window and only pumps its message loop (CLAP has no editor idle on
// Windows); the editor's window timer must draw, and a posted click must reach
// the host as a gesture through request_flush and flush. The host hears the
// size it takes in a parent of another DPI than the system's.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <utility>
#include <vector>

#include "../clap/ClapTestHost.h"
#include "../support/Win32Support.h"

namespace claptest {
namespace {

using namespace win32_test;

constexpr int kWidth = 681, kHeight = 371;

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Larger ones without a frame: Wine keeps framed windows within a smaller
// screen than the virtual display's.
HWND makeTopLevel(int width = kWidth, int height = kHeight) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &hostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "TonarvoClapTestHost";
    RegisterClassExA(&wc);
    const DWORD style = width > kWidth ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    return CreateWindowExA(0, "TonarvoClapTestHost", "Tonarvo CLAP test host", style | WS_VISIBLE, 0, 0,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(ClapWin32Editor, RunsFromTheHostsMessageLoopAndReportsAClickAsAGesture) {
    const clap_plugin_entry_t* entry = loadEntry("Tonarvo.clap");
    ASSERT_NE(entry, nullptr);
    Host host;
    Plugin p(entry, host);
    ASSERT_TRUE(p.ready);
    OutputList out;
    int flushed = 0;
    // The host's loop: messages (the editor's timer among them), and a flush
    // whenever the plug-in asks while not processing.
    const auto loop = [&](int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (host.flushRequests > flushed) {
                flushed = host.flushRequests;
                p.params->flush(p.plugin, nullptr, out.list());
            }
            Sleep(10);
        } while (std::chrono::steady_clock::now() < end);
    };

    // Hosts run audio before anyone opens the editor; the interface takes
    // its layout from the sample section.
    ASSERT_TRUE(p.activate(44100, 64));
    float silence[64] = {};
    float* channels[2] = {silence, silence + 32};
    clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
    clap_process_t block{-1, 32, nullptr, &buffer, &buffer, 1, 1, nullptr, nullptr};
    ASSERT_EQ(p.plugin->process(p.plugin, &block), CLAP_PROCESS_CONTINUE);
    p.plugin->stop_processing(p.plugin);
    p.plugin->deactivate(p.plugin);
    p.active = false;

    const HWND parent = makeTopLevel();
    ASSERT_NE(parent, nullptr);
    EXPECT_TRUE(p.gui->is_api_supported(p.plugin, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(p.gui->is_api_supported(p.plugin, CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(p.gui->create(p.plugin, CLAP_WINDOW_API_WIN32, false));
    EXPECT_TRUE(host.timers.empty());  // a window timer, not the host's
    clap_window_t window{CLAP_WINDOW_API_WIN32, {}};
    window.win32 = parent;
    ASSERT_TRUE(p.gui->set_parent(p.plugin, &window));
    const HWND editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    RECT client{};
    GetClientRect(editor, &client);
    EXPECT_EQ(client.right, kWidth);
    EXPECT_EQ(client.bottom, kHeight);
    loop(300);
    EXPECT_TRUE(out.events.empty());

    // 13.2 dB on the input gain row.
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(460, 25));
    loop(150);
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(460, 25));
    loop(150);
    EXPECT_GT(host.flushRequests, 0);
    ASSERT_GE(out.events.size(), 3u);
    EXPECT_EQ(out.events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(out.events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const OutEvent& e : out.events) EXPECT_EQ(e.param, 0u);
    EXPECT_EQ(out.events[out.events.size() - 2].value, p.value(0));
    EXPECT_NEAR(p.value(0), 13.2, 1e-9);

    // A host value is not sent back.
    out.events.clear();
    p.set(1, 6.0);
    loop(150);
    EXPECT_TRUE(out.events.empty());

    p.gui->destroy(p.plugin);
    loop(50);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    DestroyWindow(parent);
}

// A per-monitor-aware host's window on a screen of 144 dpi while the system
// (what the closed editor is measured at) has 96: the editor opens at 1.5 and
// the host hears that size, and again when its scale changes while open.
TEST(ClapWin32Editor, TheHostIsToldTheSizeItsWindowTakesAtTheParentsDpi) {
    ASSERT_TRUE(kUnaware);
    const HANDLE previous = setDpiContext(reinterpret_cast<HANDLE>(-3));  // per-monitor aware, for the host's window
    const HWND parent = makeTopLevel(1400, 800);
    setDpiContext(previous);
    Host host;
    Plugin p(loadEntry("Tonarvo.clap"), host);
    ASSERT_TRUE(p.ready);
    ASSERT_TRUE(p.gui->create(p.plugin, CLAP_WINDOW_API_WIN32, false));
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(p.gui->get_size(p.plugin, &w, &h));
    EXPECT_EQ(std::pair(w, h), std::pair(681u, 371u));
    clap_window_t window{CLAP_WINDOW_API_WIN32, {}};
    window.win32 = parent;
    ASSERT_TRUE(p.gui->set_parent(p.plugin, &window));
    const HWND editor = GetWindow(parent, GW_CHILD);
    EXPECT_EQ(host.resizes, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1022, 557}}));
    pumpFor(200);
    EXPECT_EQ(clientSize(editor), std::pair(1022, 557));
    EXPECT_TRUE(p.gui->set_scale(p.plugin, 2.0));
    pumpFor(100);
    EXPECT_EQ(host.resizes.back(), std::pair(1362u, 742u));
    EXPECT_EQ(clientSize(editor), std::pair(1362, 742));
    p.gui->destroy(p.plugin);
    DestroyWindow(parent);
}

}  // namespace
}  // namespace claptest
