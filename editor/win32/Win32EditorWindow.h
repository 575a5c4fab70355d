// The editor window on Windows: a child of the host's HWND, painted with GDI+
// into a black-started offscreen bitmap that is then copied to the window.
// The host's message loop delivers this window's messages on the thread that
// owns the parent, which is also the thread that calls the editor opcodes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "editor/EditorWindow.h"
#include "editor/gdiplus/GdiplusGraphics.h"

namespace win32_editor {

// A window's DPI over 96: GetDpiForWindow (Windows 10 1607 on; looked up at
// run time, older systems and Wine may lack it), else the screen's
// LOGPIXELSX. 0 when that is no usable scale.
double dpiScale(HWND window);

// View button bits from a mouse message's key state (MK_*) and the alt key.
std::int32_t viewButtons(WPARAM keyState, bool altDown);

// "Plugin%p" with the given module handle: one class name per loaded copy of
// the library, so two plug-ins built from this code never share a procedure.
std::string className(HMODULE module);

}  // namespace win32_editor

class Win32EditorWindow final : public EditorWindow {
public:
    Win32EditorWindow() = default;
    ~Win32EditorWindow() override;
    Win32EditorWindow(const Win32EditorWindow&) = delete;
    Win32EditorWindow& operator=(const Win32EditorWindow&) = delete;

    bool open(void* parent, int width, int height, EditorWindowClient& client) override;
    void close() override;
    void invalidate() override;
    void idle() override;
    bool isOpen() const override { return hwnd != nullptr; }
    std::uintptr_t nativeWindow() const override { return reinterpret_cast<std::uintptr_t>(hwnd); }
    void setScale(double scale) override;
    // The window's DPI over 96 (GetDpiForWindow where the system has it,
    // else the screen's); followed while open through WM_DPICHANGED.
    double screenScale(void* parent) override;
    // The system's DPI over 96 (a screen DC's; no window is needed).
    double rememberedScreenScale() override { return hwnd ? screenDensity : win32_editor::dpiScale(nullptr); }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void mouseButton(UINT message, WPARAM wParam, LPARAM lParam);
    void key(WPARAM virtualKey, bool down);
    void releaseBuffer();
    bool makeBuffer();

    HWND hwnd = nullptr;
    bool holdsClass = false;
    EditorWindowClient* client = nullptr;
    int width = 0, height = 0;  // the layout's
    int deviceWidth = 0, deviceHeight = 0;
    double scale = 1.0;
    double screenDensity = 0.0;  // the window's DPI scale as last read
    bool trackingLeave = false;

    // Created with the window: the DIB section's pixels are the GDI+ bitmap's.
    std::unique_ptr<gfx::GdiplusSession> session;
    HDC bufferDc = nullptr;
    HBITMAP buffer = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    void* bufferBits = nullptr;
};
