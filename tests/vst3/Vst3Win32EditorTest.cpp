// The VST 3 view on Windows (under Wine with a virtual X display): embedded
// as an HWND child, run only by the host's message loop (no idle call
// exists), a click and a reset reported as gestures, a drag whole even where
// the host paints it outside the idle; resized by the host, and told the
// size its window takes in a parent of another DPI than the system's.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../support/PixelProbes.h"
#include "../support/Win32Support.h"
#include "Vst3TestHost.h"
#include "effect/TonarvoVst3.h"

namespace vst3test {
namespace {

using namespace win32_test;

constexpr int kWidth = 681, kHeight = 371;

const Tuid kCid = makeTuid(tonarvo::kVst3ClassId[0], tonarvo::kVst3ClassId[1],
                           tonarvo::kVst3ClassId[2], tonarvo::kVst3ClassId[3]);

// As hosts do: the view hears onSize in the same call chain.
class Frame final : public HostObject<IPlugFrame> {
public:
    tresult VST3_CALL resizeView(IPlugView* view, ViewRect* size) override {
        if (size == nullptr || refuse) return kResultFalse;
        resizes.push_back(*size);
        view->onSize(size);
        return kResultOk;
    }
    bool refuse = false;
    std::vector<ViewRect> resizes;
};

// A window's pixels as the probes read them.
struct Pixels {
    explicit Pixels(HWND window) : window(window), dc(GetDC(window)) {}
    ~Pixels() { ReleaseDC(window, dc); }
    pixel_probes::Rgb at(int x, int y) const {
        const COLORREF c = GetPixel(dc, x, y);
        return {GetRValue(c), GetGValue(c), GetBValue(c)};
    }
    HWND window;
    HDC dc;
};

HWND firstChild(HWND parent) { return GetWindow(parent, GW_CHILD); }

HWND makeHost(int width, int height, DWORD style = WS_POPUP) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TonarvoVst3TestHost";
    RegisterClassExA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "host", style | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

// One instance that has run a block (the interface shows what it computed),
// with a recording handler and a view in a frame.
struct Session {
    Session() : module(TONARVO_VST3_MODULE), plugin(module, kCid) {
        plugin.start(44100.0, 64);
        float silence[64] = {}, out[2][64];
        float* ins[2] = {silence, silence};
        float* outs[2] = {out[0], out[1]};
        plugin.process(ins, outs, 64);
        plugin.controller->setComponentHandler(&handler);
        view = plugin.controller->createView("editor");
        if (view) view->setFrame(&frame);
    }
    ~Session() {
        if (view) {
            view->removed();
            view->setFrame(nullptr);
            view->release();
        }
        plugin.controller->setComponentHandler(nullptr);
    }
    Module module;
    Plugin plugin;
    RecordingHandler handler;
    Frame frame;
    IPlugView* view = nullptr;
};

std::vector<Edit> editsOf(const RecordingHandler& handler, ParamID p) {
    std::vector<Edit> of;
    for (const Edit& e : handler.edits)
        if (e.id == p) of.push_back(e);
    return of;
}

TEST(Vst3Win32Editor, RunsFromTheMessageLoopAndReportsGestures) {
    HWND host = makeHost(kWidth + 40, kHeight + 60, WS_OVERLAPPEDWINDOW);
    ASSERT_NE(host, nullptr);

    Module module(TONARVO_VST3_MODULE);
    Plugin plugin(module, kCid);
    ASSERT_NE(plugin.controller, nullptr);
    plugin.start(44100.0, 64);
    float silence[64] = {}, out[2][64];
    float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    plugin.process(ins, outs, 64);  // the interface shows what a block computed
    RecordingHandler handler;
    plugin.controller->setComponentHandler(&handler);

    IPlugView* view = plugin.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    Frame frame;
    view->setFrame(&frame);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultFalse);
    ASSERT_EQ(view->attached(host, "HWND"), kResultOk);
    HWND editor = firstChild(host);
    ASSERT_NE(editor, nullptr);
    pumpFor(300);
    {
        Pixels pixels(editor);
        EXPECT_TRUE(pixel_probes::showsInterface(pixels));
    }

    // A press held across frames on the input gain row, then its release.
    PostMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(460, 25));
    pumpFor(70);
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(460, 25));
    pumpFor(150);
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(460, 25));
    pumpFor(100);
    std::vector<Edit> gain = editsOf(handler, 0);
    ASSERT_GE(gain.size(), 3u);
    EXPECT_EQ(gain.front().kind, 'b');
    EXPECT_EQ(gain.back().kind, 'e');
    EXPECT_EQ(gain[gain.size() - 2].value, plugin.controller->getParamNormalized(0));
    EXPECT_NEAR(plugin.controller->getParamNormalized(0), (13.2 + 24) / 48, 1e-5);
    EXPECT_EQ(handler.edits.size(), gain.size());

    // The logo's right-click resets the trims and the tone arm. The host's
    // value goes to the controller and, as hosts do, to the processor.
    handler.edits.clear();
    plugin.controller->setParamNormalized(3, 0.75);
    ParamChanges set;
    set.add(3, 0, 0.75);
    plugin.process(ins, outs, 64, &set);
    PostMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
    pumpFor(70);
    PostMessageA(editor, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(50, 50));
    pumpFor(100);
    PostMessageA(editor, WM_RBUTTONUP, 0, MAKELPARAM(50, 50));
    pumpFor(100);
    for (ParamID p : {0u, 3u}) {
        const std::vector<Edit> of = editsOf(handler, p);
        ASSERT_GE(of.size(), 3u) << p;
        EXPECT_EQ(of.front().kind, 'b');
        EXPECT_EQ(of.back().kind, 'e');
    }
    EXPECT_EQ(plugin.controller->getParamNormalized(3), 0.0);

    EXPECT_EQ(view->removed(), kResultOk);
    pumpFor(50);
    EXPECT_EQ(firstChild(host), nullptr);
    view->setFrame(nullptr);
    view->release();
    plugin.controller->setComponentHandler(nullptr);
    DestroyWindow(host);
}


// The host paints the editor from its own loop whenever it likes (here at
// once, between its messages and outside any idle): a press, a drag and the
// release, each shown by a paint no idle sees, still reach the host as one
// whole gesture ending at the value the drag left.
TEST(Vst3Win32Editor, DragsPaintedOutsideTheIdleAreReportedWhole) {
    HWND host = makeHost(kWidth, kHeight);
    Session session;
    ASSERT_NE(session.view, nullptr);
    ASSERT_EQ(session.view->attached(host, "HWND"), kResultOk);
    HWND editor = firstChild(host);
    pumpFor(200);
    const auto paintNow = [&] { RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); };
    SendMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(400, 25));
    SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 25));
    paintNow();
    SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(430, 25));
    paintNow();
    pumpFor(60);
    SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(460, 25));
    paintNow();
    SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(460, 25));
    pumpFor(100);
    const std::vector<Edit> gain = editsOf(session.handler, 0);
    ASSERT_GE(gain.size(), 3u);
    EXPECT_EQ(gain.front().kind, 'b');
    EXPECT_EQ(gain.back().kind, 'e');
    for (std::size_t k = 1; k + 1 < gain.size(); ++k) EXPECT_EQ(gain[k].kind, 'p');
    EXPECT_NEAR(session.plugin.controller->getParamNormalized(0), (13.2 + 24) / 48, 1e-5);
    EXPECT_EQ(gain[gain.size() - 2].value, session.plugin.controller->getParamNormalized(0));
    EXPECT_EQ(session.handler.edits.size(), gain.size());

    // A click whose press, paint and release all come between two idles.
    session.handler.edits.clear();
    SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 25));
    paintNow();
    SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(400, 25));
    pumpFor(100);
    ASSERT_EQ(session.handler.edits.size(), 3u);
    EXPECT_EQ(session.handler.edits[1], (Edit{'p', 0, session.plugin.controller->getParamNormalized(0)}));
    session.view->removed();
    DestroyWindow(host);
}

// The host drags its window to 1.25 and 2 times the size and to a size off
// the editor's ratio: the editor takes each (the nearest that fits for the
// last) and draws at it. Users' choices are kept apart from the user's real
// settings: APPDATA points into the test's folder.
TEST(Vst3Win32Editor, ResizedByTheHostItDrawsAtThatScale) {
    char folder[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, folder);
    const std::string appData = std::string(folder) + "\\vst3-win32-editor-settings";
    _putenv(("APPDATA=" + appData).c_str());
    HWND host = makeHost(1400, 800);
    Session session;
    ASSERT_EQ(session.view->canResize(), kResultTrue);
    ViewRect size{};
    session.view->getSize(&size);  // as hosts size their window before attaching
    ASSERT_EQ(session.view->attached(host, "HWND"), kResultOk);
    HWND editor = firstChild(host);
    struct Drag {
        int width, height, fitWidth, fitHeight;
    };
    for (const Drag& d : {Drag{851, 464, 851, 464}, Drag{1362, 742, 1362, 742}, Drag{1000, 500, 981, 534}}) {
        ViewRect proposed{0, 0, d.width, d.height};
        ASSERT_EQ(session.view->checkSizeConstraint(&proposed), kResultTrue);
        EXPECT_EQ(std::pair(proposed.getWidth(), proposed.getHeight()), std::pair(d.fitWidth, d.fitHeight));
        session.view->onSize(&proposed);
        pumpFor(200);
        EXPECT_EQ(clientSize(editor), std::pair(d.fitWidth, d.fitHeight));
        Pixels pixels(editor);
        EXPECT_TRUE(pixel_probes::showsInterfaceAt(pixels, d.fitWidth / 681.0, d.fitWidth, d.fitHeight));
    }
    EXPECT_TRUE(session.frame.resizes.empty());
    session.view->removed();
    DestroyWindow(host);
    // The choice was written where the user's settings live (and goes, for
    // the tests after this one).
    const std::string settings = appData + "\\Tonarvo\\settings.ini";
    EXPECT_NE(GetFileAttributesA(settings.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(settings.c_str());
}

// A per-monitor-aware host's window on a screen of 144 dpi while the system
// (what the closed editor is measured at) has 96: the editor opens at 1.5
// and the host hears that size, and again when its scale changes while
// open. This thread runs unaware, as the calls of an unaware host would, and
// the host's window is made per-monitor aware.
TEST(Vst3Win32Editor, TheHostIsToldTheSizeItsWindowTakesAtTheParentsDpi) {
    using WindowDpi = UINT(WINAPI*)(HWND);
    const auto windowDpi = reinterpret_cast<WindowDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    ASSERT_TRUE(kUnaware && windowDpi);
    const HANDLE previous = setDpiContext(reinterpret_cast<HANDLE>(-3));  // per-monitor aware, for the host's window
    HWND host = makeHost(1400, 800);
    setDpiContext(previous);
    ASSERT_EQ(windowDpi(host), 144u) << "the test prefix's LogPixels must be 144";

    Session session;
    ViewRect size{};
    ASSERT_EQ(session.view->getSize(&size), kResultOk);
    EXPECT_EQ(std::pair(size.getWidth(), size.getHeight()), std::pair(kWidth, kHeight));
    ASSERT_EQ(session.view->attached(host, "HWND"), kResultOk);
    HWND editor = firstChild(host);
    ASSERT_EQ(session.frame.resizes.size(), 1u);
    EXPECT_EQ(std::pair(session.frame.resizes[0].getWidth(), session.frame.resizes[0].getHeight()),
              std::pair(1022, 557));
    pumpFor(200);
    EXPECT_EQ(clientSize(editor), std::pair(1022, 557));
    ASSERT_EQ(session.view->getSize(&size), kResultOk);
    EXPECT_EQ(std::pair(size.getWidth(), size.getHeight()), std::pair(1022, 557));

    void* found = nullptr;
    ASSERT_EQ(session.view->queryInterface(IPlugViewContentScaleSupport::iid.data(), &found), kResultOk);
    EXPECT_EQ(static_cast<IPlugViewContentScaleSupport*>(found)->setContentScaleFactor(2.0f), kResultTrue);
    static_cast<IPlugViewContentScaleSupport*>(found)->release();
    pumpFor(100);
    ASSERT_EQ(session.frame.resizes.size(), 2u);
    EXPECT_EQ(std::pair(session.frame.resizes[1].getWidth(), session.frame.resizes[1].getHeight()),
              std::pair(1362, 742));
    EXPECT_EQ(clientSize(editor), std::pair(1362, 742));
    session.view->removed();
    DestroyWindow(host);
}

}  // namespace
}  // namespace vst3test
