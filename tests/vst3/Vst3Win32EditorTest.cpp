// The VST 3 view on Windows (under Wine with a virtual X display): embedded
// as an HWND child, run only by the host's message loop (no idle call
// exists), a click and a reset reported as gestures.
#include <windows.h>

#include <chrono>
#include <cstring>

#include "../support/PixelProbes.h"
#include "Vst3TestHost.h"
#include "effect/TonarvoVst3.h"

namespace vst3test {
namespace {

constexpr int kWidth = 681, kHeight = 371;

const Tuid kCid = makeTuid(tonarvo::kVst3ClassId[0], tonarvo::kVst3ClassId[1],
                           tonarvo::kVst3ClassId[2], tonarvo::kVst3ClassId[3]);

class Frame final : public HostObject<IPlugFrame> {
public:
    tresult VST3_CALL resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
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

// The host's message loop and nothing else.
void pumpFor(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < end);
}

HWND firstChild(HWND parent) { return GetWindow(parent, GW_CHILD); }

std::vector<Edit> editsOf(const RecordingHandler& handler, ParamID p) {
    std::vector<Edit> of;
    for (const Edit& e : handler.edits)
        if (e.id == p) of.push_back(e);
    return of;
}

TEST(Vst3Win32Editor, RunsFromTheMessageLoopAndReportsGestures) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TonarvoVst3TestHost";
    RegisterClassExA(&wc);
    HWND host = CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, kWidth + 40,
                                kHeight + 60, nullptr, nullptr, wc.hInstance, nullptr);
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

    // The logo's right-click resets the trims and the tone arm.
    handler.edits.clear();
    plugin.controller->setParamNormalized(3, 0.75);
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

}  // namespace
}  // namespace vst3test
