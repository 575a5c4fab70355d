// The CLAP editor in a host of our own under Xvfb: it embeds in the host's
// window at its size, runs from the host's timer and X connection, tells the
// host of a click as a gesture through request_flush and flush, shows what
// the host set without sending it back, and leaves nothing behind; the host
// resizes it, and drives it in any order.
#include "../support/X11Support.h"
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <poll.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "ClapTestHost.h"

// Every display connection of the process, the plug-in's among them (this
// program exports the symbol, so the plug-in's calls land here).
int gDisplayOpens = 0;
extern "C" __attribute__((visibility("default"))) Display* XOpenDisplay(const char* name) {
    ++gDisplayOpens;
    static const auto real = reinterpret_cast<Display* (*)(const char*)>(dlsym(RTLD_NEXT, "XOpenDisplay"));
    return real(name);
}

namespace claptest {
namespace {

constexpr int kWidth = 681, kHeight = 371;

const clap_plugin_entry_t* entry() {
    static const clap_plugin_entry_t* loaded = loadEntry(TONARVO_CLAP_PATH);
    return loaded;
}

class ClapEditor : public testing::Test {
protected:
    static void SetUpTestSuite() {
        display = x11_test::openSuiteDisplay(config());
    }
    static std::filesystem::path config() { return std::filesystem::temp_directory_path() / "tonarvo-clap-editor-test"; }
    static void TearDownTestSuite() {
        if (display) XCloseDisplay(display);
    }
    void SetUp() override {
        ASSERT_NE(display, nullptr) << "no X display; run under xvfb-run";
        std::filesystem::remove_all(config());
        parent = x11_test::makeTopLevel(display, 1400, 800);
    }
    void TearDown() override {
        XDestroyWindow(display, parent);
        XSync(display, False);
        std::filesystem::remove_all(config());
    }

    // A host's main loop: a block of audio (the main thread serving as the
    // audio thread), timers at their period, the registered descriptors when
    // readable, and a flush whenever the plug-in asks for one while inactive.
    void loop(Plugin& p, int milliseconds) {
        const auto* timer = p.ext<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
        const auto* fd = p.ext<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            if (p.active) {
                std::vector<float> l(256, 0.0f), r(256, 0.0f);
                float* channels[2] = {l.data(), r.data()};
                clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
                clap_process_t block{-1, 256, nullptr, &buffer, &buffer, 1, 1, nullptr, out.list()};
                p.plugin->process(p.plugin, &block);
            }
            for (const auto& t : host.timers) timer->on_timer(p.plugin, t.first);
            for (int d : host.fds) {
                pollfd watched{d, POLLIN, 0};
                if (poll(&watched, 1, 0) > 0) fd->on_fd(p.plugin, d, CLAP_POSIX_FD_READ);
            }
            if (host.flushRequests > flushed && !p.active) {
                flushed = host.flushRequests;
                p.params->flush(p.plugin, nullptr, out.list());
            }
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < end);
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
    Host host;
    OutputList out;
    int flushed = 0;
};

TEST_F(ClapEditor, EmbedsRunsFromTheHostsLoopAndReportsAClickAsAGesture) {
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    const clap_plugin_gui_t* gui = p.gui;
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->is_api_supported(p.plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p.plugin, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(p.plugin, CLAP_WINDOW_API_WAYLAND, false));
    EXPECT_FALSE(gui->create(p.plugin, CLAP_WINDOW_API_X11, true));
    ASSERT_TRUE(gui->create(p.plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_TRUE(gui->can_resize(p.plugin));
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(gui->get_size(p.plugin, &w, &h));
    EXPECT_EQ(w, static_cast<std::uint32_t>(kWidth));
    EXPECT_EQ(h, static_cast<std::uint32_t>(kHeight));
    EXPECT_TRUE(gui->set_size(p.plugin, w, h));

    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(p.plugin, &window));
    ASSERT_EQ(host.timers.size(), 1u);
    EXPECT_GE(host.timers[0].second, 16u);
    EXPECT_LE(host.timers[0].second, 33u);
    EXPECT_TRUE(gui->show(p.plugin));
    const std::vector<Window> children = x11_test::children(display, parent);
    ASSERT_EQ(children.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, children[0], &attributes));
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);
    EXPECT_EQ(host.fds.size(), 1u);
    ASSERT_TRUE(p.activate(48000, 256));
    loop(p, 300);
    {
        x11_test::Picture picture(display, parent, kWidth, kHeight);
        if (const char* path = std::getenv("TONARVO_CLAP_UI_SCREENSHOT")) picture.writePng(path);
        EXPECT_TRUE(pixel_probes::showsInterface(picture));
    }
    EXPECT_TRUE(out.events.empty());

    // A click in the cartridge column: begin, the value, end, for it alone.
    x11_test::pointerTo(display, parent, 630, 299);
    loop(p, 70);
    x11_test::button(display, Button1, true);
    loop(p, 150);
    x11_test::button(display, Button1, false);
    loop(p, 100);
    EXPECT_GT(host.flushRequests, 0);  // asked for; process delivered them
    ASSERT_GE(out.events.size(), 3u);
    EXPECT_EQ(out.events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(out.events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const OutEvent& e : out.events) {
        EXPECT_EQ(e.param, 2u);
        EXPECT_EQ(e.time, 0u);
    }
    const OutEvent& value = out.events[out.events.size() - 2];
    EXPECT_EQ(value.type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(value.flags & CLAP_EVENT_IS_LIVE, static_cast<std::uint32_t>(CLAP_EVENT_IS_LIVE));
    EXPECT_NEAR(value.value, (315 - 299) * 0.0066, 1e-9);
    EXPECT_EQ(p.value(2), value.value);

    // The host sets a value in a block: the bar follows at the next frame,
    // nothing goes back.
    out.events.clear();
    EventList in;
    in.value(0, 12.0, 100);
    std::vector<float> l(256, 0.0f), r(256, 0.0f);
    float* channels[2] = {l.data(), r.data()};
    clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
    clap_process_t block{-1, 256, nullptr, &buffer, &buffer, 1, 1, in.list(), out.list()};
    ASSERT_EQ(p.plugin->process(p.plugin, &block), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(p.value(0), 12.0);
    loop(p, 150);
    EXPECT_TRUE(out.events.empty());
    {
        x11_test::Picture picture(display, parent, kWidth, kHeight);
        EXPECT_TRUE(pixel_probes::blueFill(picture.at(440, 33)));  // the bar reaches 340 + 12 / 0.11
        EXPECT_TRUE(pixel_probes::black(picture.at(460, 33)));
    }

    // The host's scale: the open editor grows and asks for its new size once.
    EXPECT_FALSE(gui->set_scale(p.plugin, std::nan("")));
    EXPECT_TRUE(host.resizes.empty());
    ASSERT_TRUE(gui->set_scale(p.plugin, 2.0));
    ASSERT_TRUE(gui->set_scale(p.plugin, 2.0));
    ASSERT_EQ(host.resizes.size(), 1u);
    EXPECT_EQ(host.resizes[0], std::make_pair(1362u, 742u));
    ASSERT_TRUE(gui->get_size(p.plugin, &w, &h));
    EXPECT_EQ(w, 1362u);
    EXPECT_EQ(h, 742u);
    XSync(display, False);
    ASSERT_TRUE(XGetWindowAttributes(display, children[0], &attributes));
    EXPECT_EQ(attributes.width, 1362);
    EXPECT_EQ(attributes.height, 742);

    gui->destroy(p.plugin);
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_TRUE(host.fds.empty());
}

TEST_F(ClapEditor, WithoutTheHostsTimersTheEditorIsNotMade) {
    host.offerTimers = false;
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    EXPECT_TRUE(p.gui->is_api_supported(p.plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(p.gui->create(p.plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_EQ(host.logs.size(), 1u);
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = parent;
    EXPECT_FALSE(p.gui->set_parent(p.plugin, &window));
    EXPECT_TRUE(x11_test::children(display, parent).empty());
}

// Destroying the instance with its editor open unregisters and closes it.
TEST_F(ClapEditor, DestroyWithTheEditorOpenLeavesNothing) {
    {
        Plugin p(entry(), host);
        ASSERT_TRUE(p.ready);
        ASSERT_TRUE(p.gui->create(p.plugin, CLAP_WINDOW_API_X11, false));
        clap_window_t window{CLAP_WINDOW_API_X11, {}};
        window.x11 = parent;
        ASSERT_TRUE(p.gui->set_parent(p.plugin, &window));
        loop(p, 60);
    }
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_TRUE(host.fds.empty());
}

// The host resizes the editor: its hints (any size at 681:371), adjust_size
// for a size off that ratio, set_size to 1.25 and 2 times the layout and to
// the adjusted size, each drawn at its scale. A closed editor's size opens no
// display connection.
TEST_F(ClapEditor, ResizedByTheHostItDrawsAtThatScale) {
    Plugin p(entry(), host);
    ASSERT_TRUE(p.ready);
    ASSERT_TRUE(p.activate(48000, 256));
    ASSERT_TRUE(p.gui->create(p.plugin, CLAP_WINDOW_API_X11, false));
    std::uint32_t w = 0, h = 0;
    const int opens = gDisplayOpens;
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(p.gui->get_size(p.plugin, &w, &h));
    EXPECT_EQ(gDisplayOpens, opens);
    EXPECT_TRUE(p.gui->can_resize(p.plugin));
    clap_gui_resize_hints_t hints{};
    ASSERT_TRUE(p.gui->get_resize_hints(p.plugin, &hints));
    EXPECT_TRUE(hints.can_resize_horizontally && hints.can_resize_vertically && hints.preserve_aspect_ratio);
    EXPECT_EQ(std::pair(hints.aspect_ratio_width, hints.aspect_ratio_height), std::pair(681u, 371u));
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = parent;
    ASSERT_TRUE(p.gui->set_parent(p.plugin, &window));

    struct Drag {
        std::uint32_t width, height, fitWidth, fitHeight;
    };
    for (const Drag& d : {Drag{851, 464, 851, 464}, Drag{1362, 742, 1362, 742}, Drag{1000, 500, 981, 534}}) {
        w = d.width;
        h = d.height;
        ASSERT_TRUE(p.gui->adjust_size(p.plugin, &w, &h));
        EXPECT_EQ(std::pair(w, h), std::pair(d.fitWidth, d.fitHeight));
        EXPECT_TRUE(p.gui->set_size(p.plugin, w, h));
        loop(p, 200);
        EXPECT_EQ(editorSize(), std::pair(static_cast<int>(w), static_cast<int>(h)));
        ASSERT_TRUE(p.gui->get_size(p.plugin, &w, &h));
        EXPECT_EQ(std::pair(w, h), std::pair(d.fitWidth, d.fitHeight));
        x11_test::Picture picture(display, parent, static_cast<int>(w), static_cast<int>(h));
        if (const char* path = std::getenv("TONARVO_CLAP_RESIZED_SCREENSHOT"))
            picture.writePng(std::string(path) + std::to_string(w) + ".png");
        EXPECT_TRUE(pixel_probes::showsInterfaceAt(picture, w / 681.0, static_cast<int>(w), static_cast<int>(h)));
    }
    EXPECT_TRUE(host.resizes.empty());  // each size was the host's own
    p.gui->destroy(p.plugin);
}

// Hosts drive the editor in any order. Each row is one, on a fresh instance
// from the host's main thread: after every step the editor's window is there
// exactly while one is parented, its timer and descriptor registered exactly
// while it shows, at the size the host was last told, a click reaches the
// host as one whole gesture, and destroying the plug-in asks for nothing.
TEST_F(ClapEditor, AnyHostOrderLeavesNothingBehindAndReportsEveryEdit) {
    const char* const orders[] = {
        "create parent show click hide hide show click destroy destroy create parent click",
        "create scale:2 parent parent scale:1.5 click scale:100 click destroy",
        "create size:851:464 parent size:1362:742 size:1000:500 click hide size:851:464 show click",
        "activate create parent deactivate click activate click drop",
        "create hide parent show click drop",
        "create parent hide drop",
    };
    for (const char* order : orders) {
        SCOPED_TRACE(order);
        std::filesystem::remove_all(config());
        auto p = std::make_unique<Plugin>(entry(), host);
        ASSERT_TRUE(p->ready);
        bool created = false, parented = false, shown = true;
        std::pair<std::uint32_t, std::uint32_t> known{0, 0};  // the size the host takes the editor to have
        int clicks = 0;
        std::istringstream steps(order);
        std::string step;
        while (steps >> step) {
            SCOPED_TRACE(step);
            unsigned w = 0, h = 0;
            double factor = 0;
            if (step == "create") {
                created = p->gui->create(p->plugin, CLAP_WINDOW_API_X11, false) || created;
                ASSERT_TRUE(created);
                ASSERT_TRUE(p->gui->get_size(p->plugin, &known.first, &known.second));
            } else if (step == "parent") {
                clap_window_t window{CLAP_WINDOW_API_X11, {}};
                window.x11 = parent;
                ASSERT_TRUE(p->gui->set_parent(p->plugin, &window));
                parented = true;
            } else if (step == "show" || step == "hide") {
                shown = step == "show";
                EXPECT_TRUE(shown ? p->gui->show(p->plugin) : p->gui->hide(p->plugin));
            } else if (step == "destroy") {
                p->gui->destroy(p->plugin);
                created = parented = false;
                shown = true;
            } else if (std::sscanf(step.c_str(), "scale:%lf", &factor) == 1) {
                EXPECT_EQ(p->gui->set_scale(p->plugin, factor), factor <= 4);
            } else if (std::sscanf(step.c_str(), "size:%u:%u", &w, &h) == 2) {
                // Taken as given when adjust_size keeps it; else the host hears the size taken.
                std::uint32_t fitW = w, fitH = h;
                ASSERT_TRUE(p->gui->adjust_size(p->plugin, &fitW, &fitH));
                EXPECT_EQ(p->gui->set_size(p->plugin, w, h), fitW == w && fitH == h);
                known = {w, h};
            } else if (step == "activate") {
                ASSERT_TRUE(p->activate(48000, 256));
            } else if (step == "deactivate") {
                p->plugin->stop_processing(p->plugin);
                p->plugin->deactivate(p->plugin);
                p->active = false;
            } else if (step == "drop") {
                const int flushes = host.flushRequests, processes = host.processRequests;
                p.reset();  // the host destroys the plug-in, editor and all
                EXPECT_EQ(std::pair(host.flushRequests, host.processRequests), std::pair(flushes, processes));
                created = parented = false;
                break;
            } else if (step == "click") {
                ASSERT_TRUE(parented && shown);
                out.events.clear();
                const double s = editorSize().first / 681.0;
                x11_test::pointerTo(display, parent, static_cast<int>(630 * s), static_cast<int>((299 - clicks++) * s));
                loop(*p, 70);
                x11_test::button(display, Button1, true);
                loop(*p, 150);
                x11_test::button(display, Button1, false);
                loop(*p, 100);
                ASSERT_GE(out.events.size(), 3u);
                EXPECT_EQ(out.events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
                EXPECT_EQ(out.events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
                for (std::size_t k = 1; k + 1 < out.events.size(); ++k)
                    EXPECT_EQ(out.events[k].type, CLAP_EVENT_PARAM_VALUE);
                for (const OutEvent& e : out.events) EXPECT_EQ(e.param, 2u);
            }
            loop(*p, 60);
            if (!host.resizes.empty()) known = host.resizes.back();
            host.resizes.clear();
            XSync(display, False);
            EXPECT_EQ(x11_test::children(display, parent).size(), parented ? 1u : 0u);
            EXPECT_EQ(host.timers.size(), parented && shown ? 1u : 0u);
            EXPECT_EQ(host.fds.size(), parented && shown ? 1u : 0u);
            if (parented) {
                EXPECT_EQ(editorSize(), std::pair(static_cast<int>(known.first), static_cast<int>(known.second)));
            }
        }
        p.reset();
        XSync(display, False);
        EXPECT_TRUE(x11_test::children(display, parent).empty());
        EXPECT_TRUE(host.timers.empty());
        EXPECT_TRUE(host.fds.empty());
    }
}

}  // namespace
}  // namespace claptest
