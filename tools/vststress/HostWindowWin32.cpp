#include <windows.h>

#include "tools/vststress/HostWindow.h"

namespace stress {

namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

class Win32Window final : public HostWindow {
public:
    explicit Win32Window(HWND window) : window_(window) {}
    ~Win32Window() override {
        DestroyWindow(window_);
        pump();
    }

    void* parent() override { return window_; }

    // What is queued, for at most a frame's time: an editor whose timer or
    // painting takes longer than its period keeps the queue from ever
    // emptying, and the thread would never idle the plug-in again.
    void pump() override {
        const DWORD start = GetTickCount();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (GetTickCount() - start > 16) break;
        }
    }

    // Posted to the editor's window, as the system delivers a hand's mouse:
    // a press, moves with the button held, a release.
    void pointer(int x, int y, bool pressed) override {
        HWND editor = GetWindow(window_, GW_CHILD);
        if (editor == nullptr) return;
        const LPARAM at = MAKELPARAM(x, y);
        if (pressed && !pressed_) PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(editor, WM_MOUSEMOVE, pressed ? MK_LBUTTON : 0, at);
        if (!pressed && pressed_) PostMessageA(editor, WM_LBUTTONUP, 0, at);
        pressed_ = pressed;
    }

    int children() override {
        int count = 0;
        for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            ++count;
        return count;
    }

private:
    HWND window_;
    bool pressed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> HostWindow::create(int width, int height, std::string& reason) {
    static const ATOM windowClass = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "VstStressHost";
        return RegisterClassExA(&wc);
    }();
    if (windowClass == 0) {
        reason = "cannot register a window class";
        return nullptr;
    }
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, "VstStressHost", "vststress", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        reason = "cannot create a window (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return std::make_unique<Win32Window>(window);
}

}  // namespace stress
