#include "editor/win32/Win32EditorWindow.h"

#include <windowsx.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstring>

#include "editor/CDrawContext.h"
#include "editor/EditorScale.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

namespace {

constexpr std::int32_t kViewLeft = 2, kViewMiddle = 4, kViewRight = 8, kViewShift = 16, kViewControl = 32,
                       kViewAlt = 64, kViewExtra1 = 256, kViewExtra2 = 512, kViewDoubleClick = 1024;
constexpr WPARAM kAnyButton = MK_LBUTTON | MK_MBUTTON | MK_RBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

// VST key modifier bits.
constexpr unsigned char kKeyShift = 1, kKeyAlt = 2, kKeyControl = 4;

// The library that holds this code: the class belongs to it, not to the host.
HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

// The class lives while any window of it does. Every open and close runs on
// the host's interface thread, so plain counters do.
class WindowClass {
public:
    ~WindowClass() {
        // The library is being unloaded with the class still registered (a
        // host that never closed the editor): a class left behind would point
        // at a procedure that is gone. UnregisterClass is safe in DllMain's
        // detach, unlike anything of GDI+.
        if (registered) UnregisterClassA(name.c_str(), module);
    }

    bool acquire(WNDPROC procedure) {
        if (users == 0 && !registered) {
            module = thisModule();
            name = win32_editor::className(module);
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
            wc.lpfnWndProc = procedure;
            wc.hInstance = module;
            wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
            wc.hbrBackground = nullptr;  // every paint covers the whole window
            wc.lpszClassName = name.c_str();
            // A class of this name left by an earlier copy of the library at
            // the same address (one that died without unregistering) has a
            // dead procedure: replace it.
            if (!RegisterClassExA(&wc)) {
                if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
                UnregisterClassA(name.c_str(), module);
                if (!RegisterClassExA(&wc)) return false;
            }
            registered = true;
        }
        ++users;
        return true;
    }

    void release() {
        if (users > 0 && --users == 0 && registered) {
            registered = !UnregisterClassA(name.c_str(), module);
        }
    }

    const char* className() const { return name.c_str(); }
    HMODULE instance() const { return module; }

private:
    int users = 0;
    bool registered = false;
    HMODULE module = nullptr;
    std::string name;
};

WindowClass gClass;

std::unique_ptr<EditorWindow> createWin32Window() { return std::make_unique<Win32EditorWindow>(); }

// The plug-in links this file as an object of its own, so its window becomes
// the editor's as soon as the library is loaded; binaries without it (tests)
// keep an editor that does not open.
const EditorWindowFactory kReplacedFactory = installEditorWindowFactory(&createWin32Window);

}  // namespace

namespace win32_editor {

std::int32_t viewButtons(WPARAM keyState, bool altDown) {
    std::int32_t bits = 0;
    if (keyState & MK_LBUTTON) bits |= kViewLeft;
    if (keyState & MK_MBUTTON) bits |= kViewMiddle;
    if (keyState & MK_RBUTTON) bits |= kViewRight;
    if (keyState & MK_SHIFT) bits |= kViewShift;
    if (keyState & MK_CONTROL) bits |= kViewControl;
    if (keyState & MK_XBUTTON1) bits |= kViewExtra1;
    if (keyState & MK_XBUTTON2) bits |= kViewExtra2;
    if (altDown) bits |= kViewAlt;
    return bits;
}

double dpiScale(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = window && dpiForWindow ? dpiForWindow(window) : 0;
    if (dpi == 0) {
        const HDC screen = GetDC(nullptr);
        if (screen) {
            dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
            ReleaseDC(nullptr, screen);
        }
    }
    return editor_scale::usable(dpi / 96.0);
}

std::string className(HMODULE module) {
    char name[64];
    std::snprintf(name, sizeof name, "Plugin%p", static_cast<void*>(module));
    return name;
}

}  // namespace win32_editor

Win32EditorWindow::~Win32EditorWindow() { close(); }

bool Win32EditorWindow::open(void* parent, int w, int h, EditorWindowClient& viewClient) {
    close();
    const HWND parentWindow = static_cast<HWND>(parent);
    if (parentWindow == nullptr || !IsWindow(parentWindow) || w <= 0 || h <= 0) return false;
    if (!gClass.acquire(&windowProc)) return false;
    holdsClass = true;

    width = w;
    height = h;
    client = &viewClient;
    session = std::make_unique<gfx::GdiplusSession>();
    if (!makeBuffer()) {
        close();
        return false;
    }

    // Windows 6 and later compose the window's paint themselves; the
    // offscreen copy keeps older systems (and Wine) free of flicker too.
    hwnd = CreateWindowExA(WS_EX_COMPOSITED, gClass.className(), "Window",
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, deviceWidth,
                           deviceHeight, parentWindow, nullptr, gClass.instance(), this);
    if (hwnd == nullptr) {
        close();
        return false;
    }
    screenDensity = win32_editor::dpiScale(hwnd);
    InvalidateRect(hwnd, nullptr, FALSE);
    return true;
}

bool Win32EditorWindow::makeBuffer() {
    releaseBuffer();
    deviceWidth = editor_scale::scaled(width, scale);
    deviceHeight = editor_scale::scaled(height, scale);
    // A top-down 32-bit DIB section: GDI copies it to the window, and GDI+
    // draws straight into its pixels, in the same pixel format as the
    // offscreen pictures the drawing tests check.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = deviceWidth;
    info.bmiHeader.biHeight = -deviceHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bufferDc = CreateCompatibleDC(nullptr);
    buffer = bufferDc ? CreateDIBSection(bufferDc, &info, DIB_RGB_COLORS, &bufferBits, nullptr, 0) : nullptr;
    if (buffer == nullptr) return false;
    previousBitmap = SelectObject(bufferDc, buffer);
    return true;
}

void Win32EditorWindow::setScale(double s) {
    s = editor_scale::usable(s) > 0 ? s : 1.0;
    if (s == scale) return;
    scale = s;
    if (hwnd == nullptr) return;
    makeBuffer();
    SetWindowPos(hwnd, nullptr, 0, 0, deviceWidth, deviceHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

double Win32EditorWindow::screenScale(void* parent) {
    if (hwnd) return screenDensity;
    return win32_editor::dpiScale(static_cast<HWND>(parent));
}

void Win32EditorWindow::releaseBuffer() {
    if (bufferDc && previousBitmap) SelectObject(bufferDc, previousBitmap);
    if (buffer) DeleteObject(buffer);
    if (bufferDc) DeleteDC(bufferDc);
    bufferDc = nullptr;
    buffer = nullptr;
    previousBitmap = nullptr;
    bufferBits = nullptr;
}

void Win32EditorWindow::close() {
    // Hosts destroy their window before closing the editor, which takes ours
    // with it; WM_NCDESTROY has then cleared hwnd already.
    if (hwnd) DestroyWindow(hwnd);
    hwnd = nullptr;
    releaseBuffer();
    session.reset();
    if (holdsClass) gClass.release();
    holdsClass = false;
    client = nullptr;
    trackingLeave = false;
}

void Win32EditorWindow::invalidate() {
    if (hwnd) InvalidateRect(hwnd, nullptr, FALSE);
}

void Win32EditorWindow::idle() {
    if (hwnd == nullptr) return;
    // Hosts dispatch our messages themselves, but one that only idles the
    // editor would never show a frame: paint what is invalid now. Only this
    // window's WM_PAINT, so the host's other messages stay in its queue.
    MSG message;
    if (PeekMessageA(&message, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
}

LRESULT CALLBACK Win32EditorWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32EditorWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        if (self && self->hwnd == hwnd) self->hwnd = nullptr;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    // Messages before WM_NCCREATE's return, or to a window whose open failed
    // half-way, have nobody to go to.
    if (self == nullptr || self->client == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (self->hwnd == nullptr) self->hwnd = hwnd;  // messages during CreateWindowEx
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the host's message loop.
        return 0;
    }
}

LRESULT Win32EditorWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;  // the paint covers everything; erasing would flicker
        case WM_PAINT: paint(); return 0;
        case WM_LBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_XBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_XBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP:
        case WM_XBUTTONUP:
            mouseButton(message, wParam, lParam);
            // The side buttons' messages want TRUE, the others 0.
            return (message == WM_XBUTTONDOWN || message == WM_XBUTTONUP || message == WM_XBUTTONDBLCLK) ? TRUE : 0;
        case WM_MOUSEMOVE:
            if (!trackingLeave) {
                // Without this, a pointer leaving sends no message; the next
                // move from outside starts tracking again.
                TRACKMOUSEEVENT track{};
                track.cbSize = sizeof track;
                track.dwFlags = TME_LEAVE;
                track.hwndTrack = hwnd;
                trackingLeave = TrackMouseEvent(&track) != FALSE;
            }
            client->onMouseMoved(GET_X_LPARAM(lParam) / scale, GET_Y_LPARAM(lParam) / scale,
                                 win32_editor::viewButtons(GET_KEYSTATE_WPARAM(wParam), GetKeyState(VK_MENU) < 0));
            return 0;
        case WM_MOUSELEAVE: trackingLeave = false; return 0;
        case WM_DPICHANGED:
        case WM_DPICHANGED_AFTERPARENT:
            // Moved to a screen of another density: the editor's next idle
            // takes the new scale and asks the host for the new size.
            screenDensity = win32_editor::dpiScale(hwnd);
            return 0;
        case WM_KEYDOWN: key(wParam, true); return 0;
        case WM_KEYUP: key(wParam, false); return 0;
        default: break;  // the wheel among others: the host may scroll with it
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Win32EditorWindow::mouseButton(UINT message, WPARAM wParam, LPARAM lParam) {
    const double x = GET_X_LPARAM(lParam) / scale, y = GET_Y_LPARAM(lParam) / scale;
    // The key state of a press already holds the pressed button, that of a
    // release no longer holds the released one: the view wants exactly that.
    std::int32_t bits = win32_editor::viewButtons(GET_KEYSTATE_WPARAM(wParam), GetKeyState(VK_MENU) < 0);
    const bool up = message == WM_LBUTTONUP || message == WM_MBUTTONUP || message == WM_RBUTTONUP ||
                    message == WM_XBUTTONUP;
    if (up) {
        client->onMouseUp(x, y, bits);
        // Released only when the last button goes, so a drag with two buttons
        // keeps its moves and releases coming from outside the window.
        if ((GET_KEYSTATE_WPARAM(wParam) & kAnyButton) == 0 && hwnd && GetCapture() == hwnd) ReleaseCapture();
        return;
    }
    if (message == WM_LBUTTONDBLCLK || message == WM_MBUTTONDBLCLK || message == WM_RBUTTONDBLCLK ||
        message == WM_XBUTTONDBLCLK)
        bits |= kViewDoubleClick;
    if (client->onMouseDown(x, y, bits) && hwnd) SetCapture(hwnd);
}

void Win32EditorWindow::key(WPARAM virtualKey, bool down) {
    vst2::VstKeyCode code{};
    const UINT character = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_CHAR) & 0x7fffffffu;
    code.character = character >= 'A' && character <= 'Z' ? static_cast<vst2::VstInt32>(character - 'A' + 'a')
                                                            : static_cast<vst2::VstInt32>(character);
    code.modifier = static_cast<unsigned char>((GetKeyState(VK_SHIFT) < 0 ? kKeyShift : 0) |
                                               (GetKeyState(VK_MENU) < 0 ? kKeyAlt : 0) |
                                               (GetKeyState(VK_CONTROL) < 0 ? kKeyControl : 0));
    if (down)
        client->onKeyDown(code);
    else
        client->onKeyUp(code);
}

void Win32EditorWindow::paint() {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    if (bufferBits) {
        GpBitmap* bitmap = nullptr;
        GpGraphics* graphics = nullptr;
        const INT stride = deviceWidth * 4;
        if (session && session->running() &&
            GdipCreateBitmapFromScan0(deviceWidth, deviceHeight, stride, PixelFormat32bppARGB, static_cast<BYTE*>(bufferBits),
                                      &bitmap) == Ok &&
            GdipGetImageGraphicsContext(bitmap, &graphics) == Ok) {
            // Opaque black: the interface paints no background of its own, and
            // its translucent fills must blend with black, not with nothing.
            GdipGraphicsClear(graphics, 0xFF000000);
            try {
                gfx::GdiplusGraphics target(graphics, scale);
                CDrawContext context(&target, gfx::IntRect{0, 0, width, height});
                client->draw(context);
            } catch (...) {
                // Nothing may cross into the host; the frame shows what was drawn.
            }
            GdipFlush(graphics, FlushIntentionSync);
        } else {
            std::memset(bufferBits, 0, static_cast<std::size_t>(stride) * static_cast<std::size_t>(deviceHeight));
        }
        if (graphics) GdipDeleteGraphics(graphics);
        if (bitmap) GdipDisposeImage(bitmap);
        GdiFlush();
        BitBlt(dc, 0, 0, deviceWidth, deviceHeight, bufferDc, 0, 0, SRCCOPY);
    }
    EndPaint(hwnd, &ps);
}
