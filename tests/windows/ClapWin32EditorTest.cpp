// Tonarvo.clap's editor under Wine: a test host embeds it in a top-level
// window and only pumps its message loop (CLAP has no editor idle on
// Windows); the editor's window timer must draw, and a posted click must reach
// the host as a gesture through request_flush and flush.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "../clap/ClapTestHost.h"

namespace claptest {
namespace {

constexpr int kWidth = 681, kHeight = 371;

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND makeTopLevel() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &hostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "TonarvoClapTestHost";
    RegisterClassExA(&wc);
    RECT frame{0, 0, kWidth, kHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowExA(0, "TonarvoClapTestHost", "Tonarvo CLAP test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
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

}  // namespace
}  // namespace claptest
