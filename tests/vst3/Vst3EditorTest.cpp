// The VST 3 view in a real X server (run under Xvfb): embedded in the host's
// window, run by the host's run loop (the test serves it: the X connection's
// descriptor and a timer), a click reported as begin/perform/end for the
// parameter it moved, a reset as one gesture per parameter it changed, host
// values taken without being sent back; resized by the user through the
// host, and driven in any order a host may choose.
#include <dlfcn.h>
#include <sys/select.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "../support/X11Support.h"
#include "Vst3TestHost.h"
#include "effect/TonarvoVst3.h"

// Every display connection of the process, the plug-in's among them (this
// program exports the symbol, so the module's calls land here).
int gDisplayOpens = 0;
extern "C" __attribute__((visibility("default"))) Display* XOpenDisplay(const char* name) {
    ++gDisplayOpens;
    static const auto real = reinterpret_cast<Display* (*)(const char*)>(dlsym(RTLD_NEXT, "XOpenDisplay"));
    return real(name);
}

namespace vst3test {
namespace {

constexpr int kWidth = 681, kHeight = 371;

const Tuid kCid = makeTuid(tonarvo::kVst3ClassId[0], tonarvo::kVst3ClassId[1],
                           tonarvo::kVst3ClassId[2], tonarvo::kVst3ClassId[3]);

// The host's frame, answering for its run loop when it has one.
class Frame final : public IPlugFrame, public Linux::IRunLoop {
public:
    explicit Frame(bool hasRunLoop) : hasRunLoop(hasRunLoop) {}
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        *obj = nullptr;
        if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPlugFrame::iid)) *obj = static_cast<IPlugFrame*>(this);
        if (hasRunLoop && sameTuid(iid, Linux::IRunLoop::iid)) *obj = static_cast<Linux::IRunLoop*>(this);
        if (*obj) ++references;
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return ++references; }
    uint32 VST3_CALL release() override { return --references; }
    // As hosts do: the view hears onSize in the same call chain.
    tresult VST3_CALL resizeView(IPlugView* view, ViewRect* size) override {
        if (size) resizes.push_back(*size);
        if (refuse || !size) return kResultFalse;
        known = *size;
        view->onSize(size);
        return kResultOk;
    }
    tresult VST3_CALL registerEventHandler(Linux::IEventHandler* h, FileDescriptor f) override {
        events = h;
        fd = f;
        return kResultOk;
    }
    tresult VST3_CALL unregisterEventHandler(Linux::IEventHandler* h) override {
        if (h == events) events = nullptr;
        return kResultOk;
    }
    tresult VST3_CALL registerTimer(Linux::ITimerHandler* h, TimerInterval ms) override {
        timer = h;
        interval = ms;
        return kResultOk;
    }
    tresult VST3_CALL unregisterTimer(Linux::ITimerHandler* h) override {
        if (h == timer) timer = nullptr;
        return kResultOk;
    }

    // The host's loop: the timer at its interval, the descriptor when readable.
    void serveFor(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        auto nextTick = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < end) {
            fd_set readable;
            FD_ZERO(&readable);
            if (events) FD_SET(fd, &readable);
            timeval wait{0, 5000};
            if (events && select(fd + 1, &readable, nullptr, nullptr, &wait) > 0 && FD_ISSET(fd, &readable) && events)
                events->onFDIsSet(fd);
            else if (!events)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (timer && std::chrono::steady_clock::now() >= nextTick) {
                timer->onTimer();
                nextTick += std::chrono::milliseconds(interval);
            }
        }
    }

    bool hasRunLoop;
    bool refuse = false;  // resizeView answers no
    int references = 0;
    std::vector<ViewRect> resizes;  // the sizes the view asked for
    ViewRect known{};                // the size the host takes the view to have
    Linux::IEventHandler* events = nullptr;
    Linux::ITimerHandler* timer = nullptr;
    FileDescriptor fd = -1;
    TimerInterval interval = 0;
};

class Vst3EditorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display = x11_test::openSuiteDisplay(config());
    }
    static std::filesystem::path config() { return std::filesystem::temp_directory_path() / "tonarvo-vst3-editor-test"; }
    void SetUp() override {
        if (display == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
        std::filesystem::remove_all(config());
        parent = x11_test::makeTopLevel(display, 1400, 800);
    }
    void TearDown() override {
        if (display && parent) XDestroyWindow(display, parent);
        std::filesystem::remove_all(config());
    }

    std::pair<int, int> editorSize() {
        XSync(display, False);
        const std::vector<Window> editor = x11_test::children(display, parent);
        XWindowAttributes attributes{};
        if (editor.size() != 1 || !XGetWindowAttributes(display, editor[0], &attributes)) return {-1, -1};
        return {attributes.width, attributes.height};
    }

    static inline Display* display = nullptr;
    Window parent = 0;
    Module module{TONARVO_VST3_MODULE};
};

TEST_F(Vst3EditorTest, DrawsAndReportsAClickAsOneGesture) {
    Plugin plugin(module, kCid);
    plugin.start(44100.0, 64);
    float silence[64] = {}, out[2][64];
    float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    plugin.process(ins, outs, 64);  // the interface shows what a block computed
    RecordingHandler handler;
    plugin.controller->setComponentHandler(&handler);
    IPlugView* view = plugin.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    Frame frame(true);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), kWidth);
    EXPECT_EQ(size.getHeight(), kHeight);

    ASSERT_EQ(view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);
    EXPECT_EQ(x11_test::children(display, parent).size(), 1u);
    EXPECT_NE(frame.timer, nullptr);
    EXPECT_GE(frame.interval, 16u);
    EXPECT_LE(frame.interval, 33u);
    ASSERT_NE(frame.events, nullptr);
    frame.serveFor(300);
    {
        x11_test::Picture picture(display, parent, kWidth, kHeight);
        if (const char* path = std::getenv("TONARVO_VST3_EDITOR_SCREENSHOT")) picture.writePng(path);
        EXPECT_TRUE(pixel_probes::showsInterface(picture));
    }
    EXPECT_TRUE(handler.edits.empty());

    // A press, a held button, a release in the cartridge column.
    x11_test::pointerTo(display, parent, 630, 299);
    frame.serveFor(70);
    x11_test::button(display, Button1, true);
    frame.serveFor(150);
    x11_test::button(display, Button1, false);
    frame.serveFor(100);
    ASSERT_GE(handler.edits.size(), 3u);
    EXPECT_EQ(handler.edits.front(), (Edit{'b', 2, 0.0}));
    EXPECT_EQ(handler.edits.back(), (Edit{'e', 2, 0.0}));
    for (std::size_t k = 1; k + 1 < handler.edits.size(); ++k) EXPECT_EQ(handler.edits[k].kind, 'p');
    const ParamValue clicked = handler.edits[handler.edits.size() - 2].value;
    EXPECT_EQ(plugin.controller->getParamNormalized(2), clicked);

    // The host sends the value back (as Ardour does: at once, then as a
    // point in the next block): nothing changes; its own value is taken and
    // not reported.
    EXPECT_EQ(plugin.controller->setParamNormalized(2, clicked), kResultOk);
    ParamChanges echo;
    echo.add(2, 0, clicked);
    plugin.process(ins, outs, 64, &echo);
    EXPECT_EQ(plugin.controller->getParamNormalized(2), clicked);
    handler.edits.clear();
    // Host values: told to the controller and sent to the processor.
    plugin.controller->setParamNormalized(0, 0.75);
    plugin.controller->setParamNormalized(3, 0.75);
    ParamChanges set;
    set.add(0, 0, 0.75);
    set.add(3, 0, 0.75);
    plugin.process(ins, outs, 64, &set);
    frame.serveFor(100);
    EXPECT_TRUE(handler.edits.empty());
    {
        // The input trim's bar shows the host's +12 dB: it reaches 340 + 12 / 0.11.
        x11_test::Picture picture(display, parent, kWidth, kHeight);
        EXPECT_TRUE(pixel_probes::blueFill(picture.at(440, 33)));
        EXPECT_TRUE(pixel_probes::black(picture.at(460, 33)));
    }

    // The logo's right-click resets the trims and the tone arm: each
    // parameter it changed is reported, each as a whole gesture, the lot as
    // one group (one undo step); a click on one control is no group.
    EXPECT_TRUE(handler.groupStarts.empty());
    x11_test::pointerTo(display, parent, 50, 50);
    frame.serveFor(70);
    x11_test::button(display, Button3, true);
    frame.serveFor(100);
    x11_test::button(display, Button3, false);
    frame.serveFor(100);
    for (ParamID p : {0u, 3u}) {
        std::vector<Edit> of;
        for (const Edit& e : handler.edits)
            if (e.id == p) of.push_back(e);
        ASSERT_GE(of.size(), 3u) << p;
        EXPECT_EQ(of.front().kind, 'b');
        EXPECT_EQ(of[of.size() - 2], (Edit{'p', p, plugin.controller->getParamNormalized(p)}));
        EXPECT_EQ(of.back().kind, 'e');
    }
    EXPECT_EQ(plugin.controller->getParamNormalized(0), 0.5);
    EXPECT_EQ(plugin.controller->getParamNormalized(3), 0.0);
    for (const Edit& e : handler.edits) EXPECT_TRUE(e.id == 0 || e.id == 3) << e.id;
    EXPECT_EQ(handler.groupStarts, std::vector<std::size_t>{0});
    EXPECT_EQ(handler.groupEnds, std::vector<std::size_t>{handler.edits.size()});

    // The host's content scale: the open editor grows and asks for its size once.
    void* found = nullptr;
    ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid.data(), &found), kResultOk);
    auto* scaling = static_cast<IPlugViewContentScaleSupport*>(found);
    EXPECT_EQ(scaling->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(scaling->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(scaling->setContentScaleFactor(40.0f), kResultFalse);  // no scale: withdrawn
    EXPECT_EQ(scaling->setContentScaleFactor(1.5f), kResultTrue);
    scaling->release();
    ASSERT_EQ(frame.resizes.size(), 3u);
    EXPECT_EQ(frame.resizes[0].getWidth(), 1022);
    EXPECT_EQ(frame.resizes[0].getHeight(), 557);
    EXPECT_EQ(frame.resizes[1].getWidth(), kWidth);
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.getWidth(), 1022);
    XSync(display, False);
    const std::vector<Window> editor = x11_test::children(display, parent);
    XWindowAttributes attributes{};
    ASSERT_TRUE(editor.size() == 1 && XGetWindowAttributes(display, editor[0], &attributes));
    EXPECT_EQ(attributes.width, 1022);
    EXPECT_EQ(attributes.height, 557);

    // A press still held when the host takes its handler away: the gesture
    // ends on that handler, not never (found by fuzz_vst3).
    handler.edits.clear();
    x11_test::pointerTo(display, parent, 300, 80);  // the input trim at scale 1.5
    frame.serveFor(70);
    x11_test::button(display, Button1, true);
    frame.serveFor(150);
    ASSERT_FALSE(handler.edits.empty());
    EXPECT_EQ(handler.edits.front(), (Edit{'b', 0, 0.0}));
    plugin.controller->setComponentHandler(nullptr);
    EXPECT_EQ(handler.edits.back(), (Edit{'e', 0, 0.0}));
    x11_test::button(display, Button1, false);
    frame.serveFor(100);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(frame.timer, nullptr);
    EXPECT_EQ(frame.events, nullptr);
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
    view->setFrame(nullptr);
    EXPECT_EQ(frame.references, 0);
    view->release();
    plugin.controller->setComponentHandler(nullptr);
}

TEST_F(Vst3EditorTest, WithoutARunLoopTheHostKeepsItsOwnControls) {
    Plugin plugin(module, kCid);
    IPlugView* view = plugin.controller->createView("editor");
    ASSERT_NE(view, nullptr);
    Frame frame(false);
    view->setFrame(&frame);
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultFalse);
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
    // Released without removed, and a probe view never attached (Ardour).
    view->release();
    EXPECT_EQ(frame.references, 0);
    IPlugView* probe = plugin.controller->createView("editor");
    ASSERT_NE(probe, nullptr);
    probe->release();
}

// The user drags the host's window: the view takes 1.25 and 2 times its size
// and the nearest fitting size for one off its ratio, drawn sharp at each.
// Asking a closed view's size opens no display connection.
TEST_F(Vst3EditorTest, TheUserResizesItThroughTheHostAndItDrawsAtThatScale) {
    auto plugin = std::make_unique<Plugin>(module, kCid);
    plugin->start(44100.0, 64);
    float silence[64] = {}, out[2][64];
    float* ins[2] = {silence, silence};
    float* outs[2] = {out[0], out[1]};
    plugin->process(ins, outs, 64);
    IPlugView* view = plugin->controller->createView("editor");
    ASSERT_NE(view, nullptr);
    Frame frame(true);
    view->setFrame(&frame);
    ViewRect size{};
    const int opens = gDisplayOpens;
    for (int k = 0; k < 3; ++k) ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(gDisplayOpens, opens);
    EXPECT_EQ(view->canResize(), kResultTrue);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);

    struct Drag {
        int width, height;       // what the host proposes
        int fitWidth, fitHeight;  // the nearest size at the layout's ratio
    };
    for (const Drag& d : {Drag{851, 464, 851, 464}, Drag{1362, 742, 1362, 742}, Drag{1000, 500, 981, 534}}) {
        ViewRect proposed{0, 0, d.width, d.height};
        ASSERT_EQ(view->checkSizeConstraint(&proposed), kResultTrue);
        EXPECT_EQ(std::pair(proposed.getWidth(), proposed.getHeight()), std::pair(d.fitWidth, d.fitHeight));
        ASSERT_EQ(view->onSize(&proposed), kResultOk);
        frame.serveFor(200);
        EXPECT_EQ(editorSize(), std::pair(d.fitWidth, d.fitHeight));
        ASSERT_EQ(view->getSize(&size), kResultOk);
        EXPECT_EQ(std::pair(size.getWidth(), size.getHeight()), std::pair(d.fitWidth, d.fitHeight));
        x11_test::Picture picture(display, parent, d.fitWidth, d.fitHeight);
        if (const char* path = std::getenv("TONARVO_VST3_RESIZED_SCREENSHOT"))
            picture.writePng(std::string(path) + std::to_string(d.fitWidth) + ".png");
        EXPECT_TRUE(pixel_probes::showsInterfaceAt(picture, d.fitWidth / 681.0, d.fitWidth, d.fitHeight));
    }
    EXPECT_TRUE(frame.resizes.empty());  // each size was the host's own
    view->removed();
    view->setFrame(nullptr);
    view->release();
}

// Hosts call a view in every order. Each row is one, on a fresh instance from
// the host's main thread; after every step the editor exists exactly while a
// view is attached, at the size the host knows, with the run loop's handlers
// registered exactly then, and a click is reported as one whole gesture.
TEST_F(Vst3EditorTest, AnyHostOrderLeavesNothingBehindAndReportsEveryEdit) {
    const char* const orders[] = {
        "attach click remove remove attach click remove",
        "scale:2 attach attach scale:1.5 click scale:0 click remove attach",
        "attach size:851:464 size:1362:742 onsize:1000:500 click remove attach click",
        "activate attach deactivate click activate drop remove",
        "attach drop view",
        "attach second click remove",
        "refuse scale:2 attach click accept scale:1.5 remove",
        "view attach view attach click",
    };
    for (const char* order : orders) {
        SCOPED_TRACE(order);
        std::filesystem::remove_all(config());
        auto plugin = std::make_unique<Plugin>(module, kCid);
        RecordingHandler handler;
        plugin->controller->setComponentHandler(&handler);
        Frame frame(true);
        IPlugView* view = plugin->controller->createView("editor");
        IPlugView* second = nullptr;
        view->setFrame(&frame);
        bool attached = false;
        const auto scaleOf = [&](IPlugView* v, float factor) {
            void* found = nullptr;
            ASSERT_EQ(v->queryInterface(IPlugViewContentScaleSupport::iid.data(), &found), kResultOk);
            static_cast<IPlugViewContentScaleSupport*>(found)->setContentScaleFactor(factor);
            static_cast<IPlugViewContentScaleSupport*>(found)->release();
        };
        const auto attach = [&](IPlugView* v) {
            ViewRect asked{};
            v->getSize(&asked);  // as hosts size their window before attaching
            frame.known = asked;
            ASSERT_EQ(v->attached(reinterpret_cast<void*>(parent), "X11EmbedWindowID"), kResultOk);
            attached = true;
        };
        std::istringstream steps(order);
        std::string step;
        while (steps >> step) {
            SCOPED_TRACE(step);
            int w = 0, h = 0;
            float factor = 0;
            if (step == "attach") {
                attach(view);
            } else if (step == "remove") {
                view->removed();
                attached = false;
            } else if (std::sscanf(step.c_str(), "scale:%f", &factor) == 1) {
                scaleOf(view, factor);
            } else if (std::sscanf(step.c_str(), "size:%d:%d", &w, &h) == 2) {
                ViewRect r{0, 0, w, h};
                view->checkSizeConstraint(&r);
                frame.known = r;
                view->onSize(&r);
            } else if (std::sscanf(step.c_str(), "onsize:%d:%d", &w, &h) == 2) {
                ViewRect r{0, 0, w, h};
                frame.known = r;
                view->onSize(&r);
            } else if (step == "activate") {
                plugin->start(44100.0, 64);
            } else if (step == "deactivate") {
                plugin->component->setActive(false);
            } else if (step == "drop") {
                plugin.reset();  // the host lets go of the plug-in; its view still holds it
            } else if (step == "view") {
                // Released while attached (and the next view set up as hosts do).
                view->release();
                attached = false;
                view = (plugin ? plugin->controller : nullptr) ? plugin->controller->createView("editor") : nullptr;
                if (!view) break;
                view->setFrame(&frame);
            } else if (step == "second") {
                // A second view takes the editor over; the first stays, attached.
                second = plugin->controller->createView("editor");
                second->setFrame(&frame);
                std::swap(view, second);
                attach(view);
            } else if (step == "refuse" || step == "accept") {
                frame.refuse = step == "refuse";
                if (!frame.refuse) frame.serveFor(1100);
            } else if (step == "click") {
                ASSERT_TRUE(attached && plugin);
                handler.edits.clear();
                const double s = editorSize().first / 681.0;
                x11_test::pointerTo(display, parent, static_cast<int>(630 * s), static_cast<int>(299 * s));
                frame.serveFor(60);
                x11_test::button(display, Button1, true);
                frame.serveFor(100);
                x11_test::button(display, Button1, false);
                frame.serveFor(80);
                ASSERT_GE(handler.edits.size(), 3u);
                EXPECT_EQ(handler.edits.front(), (Edit{'b', 2, 0.0}));
                EXPECT_EQ(handler.edits.back(), (Edit{'e', 2, 0.0}));
                for (std::size_t k = 1; k + 1 < handler.edits.size(); ++k) EXPECT_EQ(handler.edits[k].kind, 'p');
                plugin->controller->setParamNormalized(2, 0.0);  // the next click changes it again
            }
            frame.serveFor(60);
            XSync(display, False);
            EXPECT_EQ(x11_test::children(display, parent).size(), attached ? 1u : 0u);
            EXPECT_EQ(frame.timer != nullptr, attached);
            EXPECT_EQ(frame.events != nullptr, attached);
            if (attached) {
                // What the host was told last, whether it took it or not.
                const ViewRect told = frame.refuse && !frame.resizes.empty() ? frame.resizes.back() : frame.known;
                EXPECT_EQ(editorSize(), std::pair(told.getWidth(), told.getHeight()));
            }
        }
        if (second) second->release();
        if (view) {
            view->removed();
            view->setFrame(nullptr);
            view->release();
        }
        XSync(display, False);
        EXPECT_TRUE(x11_test::children(display, parent).empty());
        EXPECT_EQ(frame.timer, nullptr);
        EXPECT_EQ(frame.events, nullptr);
        EXPECT_EQ(frame.references, 0);
        if (plugin) plugin->controller->setComponentHandler(nullptr);
    }
}

}  // namespace
}  // namespace vst3test
