// The built plug-in's editor in a real X server (run under Xvfb): a test host
// makes a top-level window, opens the editor in it through the dispatcher,
// idles it like a host, reads the pixels back and clicks with XTest.
#include "../support/X11Support.h"
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "PluginHost.h"

using namespace e2e;
using namespace pixel_probes;
using x11_test::Picture;

namespace {

constexpr int kWidth = 681, kHeight = 371;

void* windowHandle(Window window) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)); }

class X11EditorTest : public testing::Test {
protected:
    // One connection for the whole run: an X server resets when its last
    // client goes, and refuses connections while it does.
    static void SetUpTestSuite() { display = XOpenDisplay(nullptr); }
    static void TearDownTestSuite() {
        if (display) XCloseDisplay(display);
        display = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(display, nullptr) << "no X display; run under xvfb-run";
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(display, &event, &error, &major, &minor)) << "the server has no XTest";
        host = makeTopLevel();
        ASSERT_TRUE(tonarvoLibrary().loaded()) << tonarvoLibrary().error();
        RecordingHost::reset();
        instance = std::make_unique<TonarvoInstance>();
        ASSERT_NE(instance->effect, nullptr);
        instance->startUp();
        // Hosts run audio before anyone opens the editor; the interface
        // takes its size for the border from the sample section.
        float silence[64] = {};
        float* channels[2] = {silence, silence + 32};
        instance->effect->processReplacing(instance->effect, channels, channels, 32);
    }
    void TearDown() override {
        if (instance && instance->effect) instance->dispatch(effEditClose);
        instance.reset();
        if (display && host) XDestroyWindow(display, host);
        if (display) XSync(display, False);
    }

    Window makeTopLevel() { return x11_test::makeTopLevel(display, kWidth, kHeight); }
    std::vector<Window> children(Window parent) { return x11_test::children(display, parent); }

    VstIntPtr openEditor(Window parent) { return instance->dispatch(effEditOpen, 0, 0, windowHandle(parent)); }

    // A host's editor idle at about 30 Hz; its own queue is drained too.
    void idleFor(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            instance->dispatch(effEditIdle);
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        } while (std::chrono::steady_clock::now() < end);
    }

    void pointerTo(Window window, int x, int y) { x11_test::pointerTo(display, window, x, y); }
    void button(unsigned int number, bool down) { x11_test::button(display, number, down); }
    // A click held long enough for frames to see it, as a hand's would be.
    void click(int x, int y, unsigned int number) {
        pointerTo(host, x, y);
        idleFor(70);
        button(number, true);
        idleFor(150);
        button(number, false);
        idleFor(70);
    }

    // The red border's corners and the input gain bar ending at its origin.
    testing::AssertionResult showsInterface(Window window) {
        Picture picture(display, window, kWidth, kHeight);
        if (!picture.valid()) return testing::AssertionFailure() << "no picture";
        if (const char* path = std::getenv("TONARVO_EDITOR_SCREENSHOT")) picture.writePng(path);
        return pixel_probes::showsInterface(picture);
    }

    static inline Display* display = nullptr;
    Window host = 0;
    std::unique_ptr<TonarvoInstance> instance;
};

TEST_F(X11EditorTest, OpensAChildWindowThatShowsTheInterfaceAndClosesWithoutTrace) {
    ERect* rect = nullptr;
    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
    EXPECT_EQ(rect->bottom - rect->top, kHeight);

    ASSERT_EQ(openEditor(host), 1);
    const std::vector<Window> inside = children(host);
    ASSERT_EQ(inside.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, inside[0], &attributes));
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);
    EXPECT_EQ(attributes.map_state, IsViewable);

    idleFor(300);
    EXPECT_TRUE(showsInterface(host));
    {
        // The cartridge column's frame at the right, around an empty column
        // at the default response of 0.
        Picture picture(display, host, kWidth, kHeight);
        EXPECT_FALSE(black(picture.at(615, 200)) && black(picture.at(645, 200)) && black(picture.at(630, 315)));
        EXPECT_TRUE(black(picture.at(630, 300)));
    }

    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, kWidth);
    instance->dispatch(effEditClose);
    EXPECT_TRUE(children(host).empty());
    idleFor(70);  // idle after close does nothing
    EXPECT_TRUE(children(host).empty());
}

TEST_F(X11EditorTest, LeftButtonSetsTheInputGainAndTheLogoResetsIt) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    ASSERT_FLOAT_EQ(instance->get(0), 0.5f);  // input trim 0 dB of -24 to 24

    click(460, 25, Button1);  // 13.2 dB on the input gain row
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
    click(200, 25, Button3);  // the row's own default
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);

    // On the logo the right button resets the trims and the tone arm too.
    instance->set(0, 0.9f);
    instance->set(3, 0.75f);  // tone-arm resonance, default -24 dB (0)
    click(50, 50, Button3);
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);
    EXPECT_FLOAT_EQ(instance->get(3), 0.0f);

    // The middle button and the wheel set nothing.
    click(460, 25, Button2);
    click(460, 25, 4);
    EXPECT_FLOAT_EQ(instance->get(0), 0.5f);

    // A double click works like a click.
    pointerTo(host, 200, 25);
    button(Button1, true);
    button(Button1, false);
    button(Button1, true);
    idleFor(150);
    button(Button1, false);
    idleFor(70);
    EXPECT_NEAR(instance->get(0), (-15.4 + 24) / 48, 1e-5);
}

// Frames look at the mouse about 30 times a second: a tap, whose press and
// release both arrive before the next one, must act all the same.
TEST_F(X11EditorTest, TapsBetweenTwoFramesTakeEffect) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    const auto tap = [&](int x, int times) {
        pointerTo(host, x, 25);
        idleFor(70);
        for (int i = 0; i < times; ++i) {
            button(Button1, true);
            button(Button1, false);
        }
        idleFor(100);
    };
    tap(460, 1);  // 13.2 dB on the input gain row
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
    tap(400, 2);  // a double click
    EXPECT_NEAR(instance->get(0), (6.6 + 24) / 48, 1e-5);
}

TEST_F(X11EditorTest, ReopeningGivesAWorkingEditorAndASecondOpenReplacesTheFirst) {
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    instance->dispatch(effEditClose);
    ASSERT_EQ(openEditor(host), 1);
    idleFor(150);
    EXPECT_TRUE(showsInterface(host));

    // Hosts open again without closing: still one window.
    ASSERT_EQ(openEditor(host), 1);
    ASSERT_EQ(openEditor(host), 1);
    EXPECT_EQ(children(host).size(), 1u);
    idleFor(150);
    EXPECT_TRUE(showsInterface(host));
    click(400, 25, Button1);
    EXPECT_NEAR(instance->get(0), (6.6 + 24) / 48, 1e-5);
}

TEST_F(X11EditorTest, IdleCloseAndKeysWithoutAnOpenEditorAreHarmless) {
    idleFor(70);  // before the first open, as some hosts do
    instance->dispatch(effEditClose);
    EXPECT_EQ(instance->dispatch(effEditKeyDown, 'a', 0), 0);
    ASSERT_EQ(openEditor(host), 1);
    EXPECT_EQ(instance->dispatch(effEditKeyDown, 'a', 0), 1);  // handled, and ignored by the effect
    EXPECT_EQ(instance->dispatch(effEditKeyUp, 'a', 0), 1);
    instance->dispatch(effEditClose);
    instance->dispatch(effEditClose);
    idleFor(70);
    EXPECT_TRUE(children(host).empty());
}

TEST_F(X11EditorTest, ABadParentOrNoDisplayRefusesToOpen) {
    // An id the server never gave out: refused, and the process lives on.
    EXPECT_EQ(instance->dispatch(effEditOpen, 0, 0, windowHandle(0x1fffff0)), 0);
    EXPECT_EQ(instance->dispatch(effEditOpen, 0, 0, nullptr), 0);
    idleFor(40);

    const char* name = std::getenv("DISPLAY");
    ASSERT_NE(name, nullptr);
    const std::string saved = name;
    setenv("DISPLAY", ":9999", 1);  // no server there
    EXPECT_EQ(openEditor(host), 0);
    setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_TRUE(children(host).empty());
    EXPECT_EQ(openEditor(host), 1);
}

TEST_F(X11EditorTest, AHostThatDestroysItsWindowFirstOrStopsIdlingIsSurvived) {
    // Hosts destroy their window before closing the editor.
    const Window doomed = makeTopLevel();
    ASSERT_EQ(openEditor(doomed), 1);
    idleFor(70);
    XDestroyWindow(display, doomed);
    XSync(display, False);
    idleFor(70);
    instance->dispatch(effEditClose);

    // Opened again while the first window's destruction is not yet seen.
    const Window doomedToo = makeTopLevel();
    ASSERT_EQ(openEditor(doomedToo), 1);
    XDestroyWindow(display, doomedToo);
    XSync(display, False);
    instance->dispatch(effEditClose);

    // No idle for a long time while the window is hidden and shown again:
    // the next single idle catches up with one paint.
    ASSERT_EQ(openEditor(host), 1);
    idleFor(100);
    XUnmapWindow(display, host);
    XMapWindow(display, host);
    XSync(display, False);
    pointerTo(host, 300, 300);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    instance->dispatch(effEditIdle);
    EXPECT_TRUE(showsInterface(host));
}

}  // namespace

namespace {

// The desktop's Xft.dpi, as a settings daemon publishes it on the root window.
void setScreenDpi(Display* display, const char* dpi) {
    const Window root = DefaultRootWindow(display);
    if (dpi == nullptr) {
        XDeleteProperty(display, root, XA_RESOURCE_MANAGER);
    } else {
        const std::string resources = std::string("Xft.antialias:\t1\nXft.dpi:\t") + dpi + "\n";
        XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
    }
    XSync(display, False);
}

std::pair<int, int> sizeOf(Display* display, Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    return {attributes.width, attributes.height};
}

}  // namespace

// A screen of 144 dpi: the editor is 1.5 times larger, drawn at that size,
// and a click lands on the control drawn under the pointer. A later change to
// 192 dpi resizes the open editor, and the host is asked for the new size.
TEST_F(X11EditorTest, DenserScreensGetALargerEditorThatAnswersWhereItDraws) {
    struct Restore {
        Display* display;
        ~Restore() { setScreenDpi(display, nullptr); }
    } restore{display};
    setScreenDpi(display, "144");
    ERect* rect = nullptr;
    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(std::pair(rect->right - rect->left, rect->bottom - rect->top), std::pair(1022, 557));

    const Window large = x11_test::makeTopLevel(display, 1022, 557);
    ASSERT_EQ(openEditor(large), 1);
    ASSERT_EQ(children(large).size(), 1u);
    EXPECT_EQ(sizeOf(display, children(large)[0]), std::pair(1022, 557));
    idleFor(300);
    {
        Picture picture(display, large, 1022, 557);
        ASSERT_TRUE(picture.valid());
        if (const char* path = std::getenv("TONARVO_EDITOR_SCALED_SCREENSHOT")) picture.writePng(path);
        EXPECT_TRUE(blueFill(picture.at(450, 50)));  // the input gain bar, 101 to 340 at 1
        EXPECT_TRUE(black(picture.at(540, 50)));
        EXPECT_GT(picture.at(1020, 2).r, 200);  // the red border, now at the larger corner
    }
    // 13.2 dB on the input gain row, as a click at (460, 24) is at 1.
    pointerTo(large, 690, 36);
    idleFor(70);
    button(Button1, true);
    idleFor(150);
    button(Button1, false);
    idleFor(70);
    EXPECT_NEAR(instance->get(0), (13.2 + 24) / 48, 1e-5);
    EXPECT_TRUE(RecordingHost::callsWith(audioMasterSizeWindow).empty());

    setScreenDpi(display, "192");
    idleFor(100);
    EXPECT_EQ(sizeOf(display, children(large)[0]), std::pair(1362, 742));
    const std::vector<HostCall> asked = RecordingHost::callsWith(audioMasterSizeWindow);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::pair(asked[0].index, static_cast<int>(asked[0].value)), std::pair(1362, 742));
    ASSERT_EQ(instance->dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(std::pair(int{rect->right}, int{rect->bottom}), std::pair(1362, 742));
    instance->dispatch(effEditClose);
    XDestroyWindow(display, large);
}
