// Win32 pieces shared by the editor tests that run under Wine: a host thread
// that is not DPI-aware, the host's message loop, a window's client size.
#pragma once

#include <windows.h>

#include <chrono>
#include <utility>

namespace win32_test {

// The test prefix's system DPI is 144 (its LogPixels): this thread is a host
// that is not DPI-aware, as Windows programs are unless they say otherwise
// (Wine makes them per-monitor aware), so its windows have 96 unless a test
// makes one aware.
using DpiContext = HANDLE(WINAPI*)(HANDLE);
inline const DpiContext setDpiContext = reinterpret_cast<DpiContext>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
inline const bool kUnaware = setDpiContext && setDpiContext(reinterpret_cast<HANDLE>(-1)) != nullptr;

// The host's message loop and nothing else.
inline void pumpFor(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG message;
        // Until the time is up even when messages keep coming: under Wine a
        // paint at twice the size can take longer than the timer's period.
        while (std::chrono::steady_clock::now() < end && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < end);
}

inline std::pair<int, int> clientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

}  // namespace win32_test
