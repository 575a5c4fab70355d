// The DLL's editor window under Wine with a virtual X display: a test host
// makes a top-level window, opens the editor in it through the dispatcher,
// pumps its messages and idles it like a host, reads the pixels back and
// clicks with posted mouse messages. Each test loads the DLL itself, so the
// last one can watch the window class go when the library is unloaded.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../e2e/PluginHost.h"
#include "../support/PixelProbes.h"

namespace e2e {
namespace {

constexpr int kWidth = 681, kHeight = 371;

using namespace pixel_probes;

std::string classNameOf(HMODULE module) {
    char name[64];
    std::snprintf(name, sizeof name, "Plugin%p", static_cast<void*>(module));
    return name;
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// One grab of a window's pixels through its own device context.
class Picture {
public:
    explicit Picture(HWND window, int width = kWidth, int height = kHeight)
        : pixels(static_cast<std::size_t>(width) * height), width(width) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC windowDc = GetDC(window);
        HDC memory = CreateCompatibleDC(windowDc);
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok) std::memcpy(pixels.data(), bits, pixels.size() * 4);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, windowDc);
    }
    bool valid() const { return ok; }
    Rgb at(int x, int y) const {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        return {static_cast<int>(p >> 16 & 255), static_cast<int>(p >> 8 & 255), static_cast<int>(p & 255)};
    }

private:
    std::vector<std::uint32_t> pixels;
    int width;
    bool ok = false;
};

class Win32EditorTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "TonarvoTestHost";
        RegisterClassExA(&wc);
    }

    void SetUp() override {
        host = makeTopLevel();
        ASSERT_NE(host, nullptr);
        load();
        ASSERT_NE(module, nullptr) << "LoadLibrary failed, error " << GetLastError();
        startInstance();
    }
    void TearDown() override {
        if (instance && instance->effect) instance->dispatch(effEditClose);
        instance.reset();
        if (module) FreeLibrary(module);
        if (host) DestroyWindow(host);
        pump();
    }

    void load() {
        module = LoadLibraryA("Tonarvo.dll");
        // Through void*: FARPROC and the entry type are unrelated function types.
        entry = module ? reinterpret_cast<VstPluginMainProc>(
                             reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")))
                       : nullptr;
    }
    void startInstance() {
        ASSERT_NE(entry, nullptr);
        RecordingHost::reset();
        instance = std::make_unique<Instance>(entry);
        ASSERT_NE(instance->effect, nullptr);
        instance->startUp();
        // Hosts run audio before anyone opens the editor; the interface
        // takes its size for the border from the sample section.
        float silence[64] = {};
        float* channels[2] = {silence, silence + 32};
        instance->effect->processReplacing(instance->effect, channels, channels, 32);
    }

    static HWND makeTopLevel(int width = kWidth, int height = kHeight) {
        RECT frame{0, 0, width, height};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        HWND window = CreateWindowExA(0, "TonarvoTestHost", "Tonarvo test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                      frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        pump();
        return window;
    }

    static void pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    VstIntPtr openEditor(HWND parent) { return instance->dispatch(effEditOpen, 0, 0, parent); }

    // A host's loop: its messages, and the editor idle at about 30 Hz.
    void idleFor(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            pump();
            instance->dispatch(effEditIdle);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 33, QS_ALLINPUT);
        } while (std::chrono::steady_clock::now() < end);
        pump();
    }

    std::vector<HWND> children(HWND parent) {
        std::vector<HWND> found;
        EnumChildWindows(
            parent,
            [](HWND child, LPARAM list) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    HWND editorWindow() {
        const std::vector<HWND> inside = children(host);
        return inside.size() == 1 ? inside[0] : nullptr;
    }

    // A click held across frames, as a hand's would be: the interface looks
    // at the mouse once per frame.
    void click(int x, int y, UINT down, UINT up, WPARAM held) {
        HWND editor = editorWindow();
        ASSERT_NE(editor, nullptr);
        const LPARAM at = MAKELPARAM(x, y);
        PostMessageA(editor, WM_MOUSEMOVE, 0, at);
        idleFor(70);
        PostMessageA(editor, down, held, at);
        idleFor(150);
        PostMessageA(editor, up, 0, at);
        idleFor(70);
    }
    void leftClick(int x, int y) { click(x, y, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON); }
    void rightClick(int x, int y) { click(x, y, WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON); }

    // The red border's corners and the input gain bar ending at its origin.
    testing::AssertionResult showsInterface(HWND window) {
        Picture picture(window);
        if (!picture.valid()) return testing::AssertionFailure() << "no picture";
        return pixel_probes::showsInterface(picture);
    }

    HWND host = nullptr;
    HMODULE module = nullptr;
    VstPluginMainProc entry = nullptr;
    std::unique_ptr<Instance> instance;
};

TEST_F(Win32EditorTest, OpensAChildWindowThatShowsTheInterfaceAndClosesWithoutTrace) {
    ERect* rect = nullptr;
    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
    EXPECT_EQ(rect->bottom - rect->top, kHeight);

    ASSERT_EQ(openEditor(host), 1);
    HWND editor = editorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(GetParent(editor), host);
    RECT area{};
    GetClientRect(editor, &area);
    EXPECT_EQ(area.right, kWidth);
    EXPECT_EQ(area.bottom, kHeight);
    POINT origin{0, 0};
    MapWindowPoints(editor, host, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    const LONG_PTR style = GetWindowLongPtrA(editor, GWL_STYLE);
    const LONG_PTR wanted = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_TRUE(GetWindowLongPtrA(editor, GWL_EXSTYLE) & WS_EX_COMPOSITED);
    char text[32] = {};
    GetWindowTextA(editor, text, sizeof text);
    EXPECT_STREQ(text, "Window");

    // The class: the library's, under its product-unique name.
    const std::string name = classNameOf(module);
    char actual[64] = {};
    GetClassNameA(editor, actual, sizeof actual);
    EXPECT_EQ(name, actual);
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExA(module, name.c_str(), &info));
    EXPECT_EQ(info.style, static_cast<UINT>(CS_GLOBALCLASS | CS_DBLCLKS));
    EXPECT_EQ(info.hbrBackground, nullptr);
    EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));

    idleFor(300);
    EXPECT_TRUE(showsInterface(editor));
    {
        // The cartridge column's frame at the right, around an empty column
        // at the default response of 0.
        Picture picture(editor);
        EXPECT_FALSE(black(picture.at(615, 200)) && black(picture.at(645, 200)) && black(picture.at(630, 315)));
        EXPECT_TRUE(black(picture.at(630, 300)));
    }

    // Erasing is left to the paint, which covers everything.
    HDC dc = GetDC(editor);
    EXPECT_NE(SendMessageA(editor, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 0);
    ReleaseDC(editor, dc);

    instance->dispatch(effEditClose);
    EXPECT_TRUE(children(host).empty());
    EXPECT_FALSE(IsWindow(editor));
    // The last window took the class with it.
    EXPECT_FALSE(GetClassInfoExA(module, name.c_str(), &info));
    idleFor(70);  // idle after close does nothing
    EXPECT_TRUE(children(host).empty());
}

// The user's scale for this session: the editor is 1.5 times larger, drawn at
// that size, and a posted click lands on the control drawn under it.
TEST_F(Win32EditorTest, AtAScaleTheEditorIsLargerAndAnswersWhereItDraws) {
    _putenv("TONARVO_SCALE=1.5");  // the C runtime's copy, which the library reads
    struct Restore {
        ~Restore() { _putenv("TONARVO_SCALE="); }
    } restore;
    ERect* rect = nullptr;
    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(std::pair(rect->right - rect->left, rect->bottom - rect->top), std::pair(1022, 557));
    DestroyWindow(host);
    host = makeTopLevel(1022, 557);
    ASSERT_EQ(openEditor(host), 1);
    HWND editor = editorWindow();
    ASSERT_NE(editor, nullptr);
    RECT client{};
    GetClientRect(editor, &client);
    EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(1022L, 557L));
    idleFor(200);
    {
        Picture picture(editor, 1022, 557);
        ASSERT_TRUE(picture.valid());
        EXPECT_TRUE(blueFill(picture.at(450, 50)));  // the input gain bar, 101 to 340 at 1
        EXPECT_TRUE(black(picture.at(540, 50)));
        EXPECT_GT(picture.at(1020, 2).r, 200);  // the red border, now at the larger corner
    }
    leftClick(690, 36);  // as (460, 24) at 1: 13.2 dB on the input gain row
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
}

TEST_F(Win32EditorTest, MouseMessagesSetTheInputGainAndTheLogoResetsIt) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    ASSERT_FLOAT_EQ(instance->get(0), 0.5f);  // input trim 0 dB of -24 to 24
    HWND editor = editorWindow();

    // A press captures the mouse until its release.
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(460, 25));  // 13.2 dB on the input gain row
    idleFor(150);
    EXPECT_EQ(GetCapture(), editor);
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(460, 25));
    idleFor(70);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);

    rightClick(200, 25);  // the row's own default
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);

    // On the logo the right button resets the trims and the tone arm too.
    instance->set(0, 0.9f);
    instance->set(3, 0.75f);  // tone-arm resonance, default -24 dB (0)
    rightClick(50, 50);
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);
    EXPECT_FLOAT_EQ(instance->get(3), 0.0f);

    // The middle button and the wheel set nothing.
    click(460, 25, WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON);
    PostMessageA(editor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(460, 25));
    idleFor(70);
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);

    // A double click works like a click.
    click(200, 25, WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON);
    EXPECT_NEAR(instance->get(0), (-15.4 + 24) / 48, 1e-5);

    // A drag: moves with the button held follow along the row; the row
    // ignores the pointer once the drag leaves the window to its left.
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 25));
    idleFor(70);
    PostMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(460, 25));
    idleFor(100);
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
    PostMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-40, 25));
    idleFor(100);
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(-40, 25));
    idleFor(70);
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);

    // Keys reach the view and change nothing.
    EXPECT_EQ(instance->dispatch(effEditKeyDown, 'a', 0), 1);
    SendMessageA(editor, WM_KEYDOWN, 'A', 0);
    SendMessageA(editor, WM_KEYUP, 'A', 0);
    idleFor(70);
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
}

// Frames look at the mouse about 30 times a second: a tap, whose press and
// release both arrive before the next one, must act all the same.
TEST_F(Win32EditorTest, TapsBetweenTwoFramesTakeEffect) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    HWND editor = editorWindow();
    const auto tap = [&](int x, std::vector<std::pair<UINT, WPARAM>> messages) {
        for (auto [message, held] : messages) PostMessageA(editor, message, held, MAKELPARAM(x, 25));
        idleFor(100);
    };
    tap(460, {{WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}});  // 13.2 dB on the input gain row
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
    tap(400, {{WM_LBUTTONDOWN, MK_LBUTTON}, {WM_LBUTTONUP, 0}, {WM_LBUTTONDBLCLK, MK_LBUTTON}, {WM_LBUTTONUP, 0}});
    EXPECT_NEAR(instance->get(0), (6.6 + 24) / 48, 1e-5);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Win32EditorTest, ReopeningGivesAWorkingEditorAndASecondOpenReplacesTheFirst) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    instance->dispatch(effEditClose);
    ASSERT_EQ(openEditor(host), 1);
    idleFor(150);
    EXPECT_TRUE(showsInterface(editorWindow()));

    // Hosts open again without closing: still one window.
    ASSERT_EQ(openEditor(host), 1);
    ASSERT_EQ(openEditor(host), 1);
    EXPECT_EQ(children(host).size(), 1u);
    idleFor(150);
    EXPECT_TRUE(showsInterface(editorWindow()));
    leftClick(400, 25);
    EXPECT_NEAR(instance->get(0), (6.6 + 24) / 48, 1e-5);
}

TEST_F(Win32EditorTest, BadParentsIdleWithoutEditorAndAVanishedParentAreHarmless) {
    idleFor(70);  // before the first open, as some hosts do
    instance->dispatch(effEditClose);
    EXPECT_EQ(instance->dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(instance->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234560)), 0);
    EXPECT_EQ(instance->dispatch(effEditKeyDown, 'a', 0), 0);
    idleFor(40);

    // Hosts destroy their window before closing the editor.
    HWND doomed = makeTopLevel();
    ASSERT_EQ(openEditor(doomed), 1);
    idleFor(70);
    DestroyWindow(doomed);
    idleFor(70);
    instance->dispatch(effEditClose);

    ASSERT_EQ(openEditor(host), 1);
    idleFor(150);
    EXPECT_TRUE(showsInterface(editorWindow()));
}

TEST_F(Win32EditorTest, AHostThatNeverDispatchesStillSeesFramesFromIdle) {
    ASSERT_EQ(openEditor(host), 1);
    HWND editor = editorWindow();
    ASSERT_NE(editor, nullptr);
    // Only the editor idle, no message loop of the host's.
    for (int i = 0; i < 8; ++i) {
        instance->dispatch(effEditIdle);
        Sleep(40);
    }
    EXPECT_TRUE(showsInterface(editor));
}

TEST_F(Win32EditorTest, UnloadingTheLibraryAfterCloseUnregistersTheClassAndALoadRegistersAgain) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(70);
    instance->dispatch(effEditClose);
    instance.reset();
    const std::string name = classNameOf(module);
    const HMODULE old = module;
    ASSERT_TRUE(FreeLibrary(module));
    module = nullptr;
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExA(old, name.c_str(), &info));

    load();
    ASSERT_NE(module, nullptr);
    startInstance();
    ASSERT_EQ(openEditor(host), 1);
    EXPECT_TRUE(GetClassInfoExA(module, classNameOf(module).c_str(), &info));
    idleFor(150);
    EXPECT_TRUE(showsInterface(editorWindow()));

    // Unloaded with the editor left open: the host destroyed its window, but
    // never closed the editor nor the effect. The class must not outlive the
    // library.
    DestroyWindow(host);
    host = nullptr;
    pump();
    instance->effect = nullptr;  // a leaked instance; closing it would run unloaded code
    const HMODULE second = module;
    const std::string secondName = classNameOf(second);
    ASSERT_TRUE(FreeLibrary(module));
    module = nullptr;
    EXPECT_FALSE(GetClassInfoExA(second, secondName.c_str(), &info));
}

}  // namespace
}  // namespace e2e
