// The LV2 interface in a lilv and suil host of our own under Xvfb: it embeds
// in the host's window, shows the interface, tells the host what a click
// changed, shows what the host changed without echoing it, and goes away; the
// host resizes it, and drives it in any order.
#include "../support/X11Support.h"
#include <gtest/gtest.h>
#include <suil/suil.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "Lv2TestHost.h"

namespace lv2test {
namespace {

using pixel_probes::blueFill;
using pixel_probes::black;

constexpr int kWidth = 681, kHeight = 371;

struct PortWrite {
    std::uint32_t port;
    float value;
};

class Lv2UiTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        display = x11_test::openSuiteDisplay(config());
    }
    static std::filesystem::path config() { return std::filesystem::temp_directory_path() / "tonarvo-lv2-ui-test"; }
    static void TearDownTestSuite() {
        if (display) XCloseDisplay(display);
    }

    void SetUp() override {
        ASSERT_NE(display, nullptr) << "no X display; run under xvfb-run";
        std::filesystem::remove_all(config());
        ASSERT_NE(world.plugin, nullptr);
        parent = x11_test::makeTopLevel(display, kWidth, kHeight);
        plugin = std::make_unique<Instance>(world);
        plugin->run();
        suilHost = suil_host_new(&record, nullptr, nullptr, nullptr);
        ui_ = openUi(parent);
        ASSERT_NE(ui_, nullptr);
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(suil_instance_extension_data(ui_, LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
    }
    void TearDown() override {
        if (ui_) suil_instance_free(ui_);
        if (suilHost) suil_host_free(suilHost);
        plugin.reset();
        if (display && parent) XDestroyWindow(display, parent);
        XSync(display, False);
        std::filesystem::remove_all(config());
    }

    std::pair<int, int> sizeOf(Window w) {
        XSync(display, False);
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, w, &attributes);
        return {attributes.width, attributes.height};
    }
    // The interface's own resize (ui:resize as its extension data), as a host
    // calls it when the user resizes its window; 0 when taken as given.
    int hostResizes(SuilInstance* ui, int width, int height) {
        const auto* resizing = static_cast<const LV2UI_Resize*>(suil_instance_extension_data(ui, LV2_UI__resize));
        EXPECT_NE(resizing, nullptr);
        return resizing ? resizing->ui_resize(suil_instance_get_handle(ui), width, height) : -1;
    }

    // The plug-in's interface in `window`, as the description names it; with
    // a scale factor, that and a resize feature are offered too.
    SuilInstance* openUi(Window window, float scaleFactor = 0) {
        LilvUIs* uis = lilv_plugin_get_uis(world.plugin);
        const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
        char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
        char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(window)};
        const LV2_Feature instanceFeature{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(plugin->instance)};
        const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, world.urids.id(LV2_UI__scaleFactor), sizeof(float),
             world.urids.id(LV2_ATOM__Float), &scaleFactor},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        const LV2_Feature* features[] = {&parentFeature, &instanceFeature, &idleFeature, &world.urids.mapFeature,
                                         &resizeFeature, scaleFactor > 0 ? &optionsFeature : nullptr, nullptr};
        SuilInstance* instance = suil_instance_new(suilHost, this, LV2_UI__X11UI, kPluginUri,
                                                   lilv_node_as_uri(lilv_ui_get_uri(ui)), LV2_UI__X11UI, bundle,
                                                   binary, features);
        lilv_free(bundle);
        lilv_free(binary);
        lilv_uis_free(uis);
        return instance;
    }

    // The host's write function; the test puts the values on the ports.
    static void record(SuilController controller, std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                       const void* buffer) {
        if (protocol == 0 && size == sizeof(float))
            static_cast<Lv2UiTest*>(controller)->writes.push_back({port, *static_cast<const float*>(buffer)});
    }

    // A host's loop at about 30 Hz: a block of audio, an interface idle.
    void idleFor(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            plugin->run();
            EXPECT_EQ(idleInterface->idle(suil_instance_get_handle(ui_)), 0);
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        } while (std::chrono::steady_clock::now() < end);
    }

    // An interface's idle, its interface asked of it: the library that has it
    // goes when the last interface and instance do, and may come back
    // elsewhere.
    static int idle(SuilInstance* ui) {
        const auto* interface =
            static_cast<const LV2UI_Idle_Interface*>(suil_instance_extension_data(ui, LV2_UI__idleInterface));
        return interface->idle(suil_instance_get_handle(ui));
    }

    // The host's loop, with whatever of it is there.
    void serve(int milliseconds, bool running = true) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        do {
            if (plugin && running) plugin->run();
            if (ui_) idle(ui_);
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < end);
    }

    static inline Display* display = nullptr;
    World world;
    Window parent = 0;
    std::unique_ptr<Instance> plugin;
    SuilHost* suilHost = nullptr;
    SuilInstance* ui_ = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    std::vector<PortWrite> writes;
    std::vector<std::pair<int, int>> sizes;  // what the interface asked its window to be
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int hh) {
                            static_cast<Lv2UiTest*>(h)->sizes.emplace_back(w, hh);
                            return 0;
                        }};
};

TEST_F(Lv2UiTest, ShowsTheInterfaceAndTradesControlValuesWithTheHost) {
    const auto widget = reinterpret_cast<std::uintptr_t>(suil_instance_get_widget(ui_));
    ASSERT_EQ(x11_test::children(display, parent), std::vector<Window>{widget});
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, widget, &attributes));
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);
    idleFor(300);
    {
        x11_test::Picture picture(display, parent, kWidth, kHeight);
        if (const char* path = std::getenv("TONARVO_LV2_UI_SCREENSHOT")) picture.writePng(path);
        EXPECT_TRUE(pixel_probes::showsInterface(picture));
    }
    EXPECT_TRUE(writes.empty());

    // A click in the cartridge column sets the response in the effect and
    // tells the host; the host's port coming back afterwards leaves the value
    // as the mouse made it, off the 0.001 step grid.
    x11_test::pointerTo(display, parent, 630, 299);
    idleFor(70);
    x11_test::button(display, Button1, true);
    idleFor(150);
    x11_test::button(display, Button1, false);
    idleFor(100);
    const float clicked = static_cast<float>((315 - 299) * 0.0066);
    ASSERT_FALSE(writes.empty());
    for (const PortWrite& w : writes) EXPECT_EQ(w.port, kFirstControl + 2);
    EXPECT_EQ(writes.back().value, clicked);
    plugin->controls[2] = clicked;
    idleFor(70);
    EXPECT_EQ(save(*plugin).slider(10), clicked);

    // The host sets it again itself: the bar follows, nothing goes back.
    writes.clear();
    plugin->controls[0] = 12.0f;
    suil_instance_port_event(ui_, kFirstControl, sizeof(float), 0, &plugin->controls[0]);
    idleFor(150);
    EXPECT_TRUE(writes.empty());
    x11_test::Picture picture(display, parent, kWidth, kHeight);
    EXPECT_TRUE(blueFill(picture.at(440, 33)));  // the bar now reaches 340 + 12 / 0.11
    EXPECT_TRUE(black(picture.at(460, 33)));

    suil_instance_free(ui_);
    ui_ = nullptr;
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
}

TEST_F(Lv2UiTest, TakesTheHostsScaleFactorAndAsksForTheSizeItGives) {
    // Opened at 1 by the fixture: its host heard the layout's own size once.
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{kWidth, kHeight}}));
    suil_instance_free(ui_);
    sizes.clear();
    ui_ = openUi(parent, 2.0f);
    ASSERT_NE(ui_, nullptr);
    const auto widget = reinterpret_cast<Window>(suil_instance_get_widget(ui_));
    const auto sizeOf = [&](Window w) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, w, &attributes);
        return std::pair{attributes.width, attributes.height};
    };
    EXPECT_EQ(sizeOf(widget), (std::pair{1362, 742}));
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{1362, 742}}));

    // Later through the options interface: the window follows, the host is told.
    const auto* options =
        static_cast<const LV2_Options_Interface*>(suil_instance_extension_data(ui_, LV2_OPTIONS__interface));
    ASSERT_NE(options, nullptr);
    const float oneAndAHalf = 1.5f;
    const LV2_Options_Option change[] = {{LV2_OPTIONS_INSTANCE, 0, world.urids.id(LV2_UI__scaleFactor),
                                          sizeof(float), world.urids.id(LV2_ATOM__Float), &oneAndAHalf},
                                         {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    EXPECT_EQ(options->set(suil_instance_get_handle(ui_), change), 0u);
    XSync(display, False);
    EXPECT_EQ(sizeOf(widget), (std::pair{1022, 557}));
    EXPECT_EQ(sizes.back(), (std::pair{1022, 557}));
    const float absurd = 40.0f;  // not a scale: the screen's (1 under Xvfb) instead
    const LV2_Options_Option wrong[] = {{LV2_OPTIONS_INSTANCE, 0, world.urids.id(LV2_UI__scaleFactor),
                                         sizeof(float), world.urids.id(LV2_ATOM__Float), &absurd},
                                        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    options->set(suil_instance_get_handle(ui_), wrong);
    XSync(display, False);
    EXPECT_EQ(sizeOf(widget), (std::pair{kWidth, kHeight}));
    options->set(suil_instance_get_handle(ui_), change);

    // Drawn at that size, and a click where the cartridge column is drawn
    // acts on it as at 1.
    XResizeWindow(display, parent, 1022, 557);
    idleFor(300);
    {
        x11_test::Picture picture(display, parent, 1022, 557);
        if (const char* path = std::getenv("TONARVO_LV2_UI_SCALED_SCREENSHOT")) picture.writePng(path);
        EXPECT_TRUE(blueFill(picture.at(300 * 3 / 2, 33 * 3 / 2)));  // the input gain bar, 101 to 340 at 1
        EXPECT_TRUE(black(picture.at(360 * 3 / 2, 33 * 3 / 2)));
    }
    x11_test::pointerTo(display, parent, 630 * 3 / 2, 298 * 3 / 2);
    idleFor(70);
    x11_test::button(display, Button1, true);
    idleFor(150);
    x11_test::button(display, Button1, false);
    idleFor(100);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().port, kFirstControl + 2);
    EXPECT_EQ(writes.back().value, static_cast<float>((315 - 298) * 0.0066));
}

TEST_F(Lv2UiTest, ASecondInterfaceTakesTheEditorOverAndTheFirstBowsOut) {
    const Window other = x11_test::makeTopLevel(display, kWidth, kHeight);
    SuilInstance* second = openUi(other);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(idleInterface->idle(suil_instance_get_handle(ui_)), 1);  // the host may close it
    suil_instance_free(ui_);  // leaves the second one's window alone
    ui_ = nullptr;
    XSync(display, False);
    EXPECT_TRUE(x11_test::children(display, parent).empty());
    EXPECT_EQ(x11_test::children(display, other).size(), 1u);
    suil_instance_free(second);
    XDestroyWindow(display, other);
}

// The host resizes the interface through ui:resize: 1.25 and 2 times the
// layout, and a size off its ratio, which the interface answers with the
// nearest that fits. Each is drawn at its scale.
TEST_F(Lv2UiTest, ResizedByTheHostItDrawsAtThatScale) {
    XResizeWindow(display, parent, 1400, 800);
    const auto widget = reinterpret_cast<Window>(suil_instance_get_widget(ui_));
    struct Drag {
        int width, height, fitWidth, fitHeight;
    };
    for (const Drag& d : {Drag{851, 464, 851, 464}, Drag{1362, 742, 1362, 742}, Drag{1000, 500, 981, 534}}) {
        EXPECT_EQ(hostResizes(ui_, d.width, d.height), d.width == d.fitWidth ? 0 : 1);
        idleFor(200);
        EXPECT_EQ(sizeOf(widget), std::pair(d.fitWidth, d.fitHeight));
        x11_test::Picture picture(display, parent, d.fitWidth, d.fitHeight);
        EXPECT_TRUE(pixel_probes::showsInterfaceAt(picture, d.fitWidth / 681.0, d.fitWidth, d.fitHeight));
    }
    // Told once, of the size it took for the one off the ratio.
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{kWidth, kHeight}, {981, 534}}));
}

// Hosts drive an interface in any order. Each row is one, on a fresh
// instance from the host's main thread: after every step the editor's window
// is there exactly while an interface of a living plug-in shows it, at the
// size the host was last told, and a click reaches the host's port.
TEST_F(Lv2UiTest, AnyHostOrderLeavesNothingBehindAndReportsEveryEdit) {
    suil_instance_free(ui_);
    ui_ = nullptr;
    XResizeWindow(display, parent, 1400, 800);
    const Window other = x11_test::makeTopLevel(display, kWidth, kHeight);
    const char* const orders[] = {
        "open click close close open click close",
        "scale:2 open scale:1.5 click scale:40 close open",
        "open size:851:464 size:1000:500 click close open click",
        "deactivate open click activate click drop close",
        "open drop",
        "open second click close",
    };
    for (const char* order : orders) {
        SCOPED_TRACE(order);
        std::filesystem::remove_all(config());
        plugin = std::make_unique<Instance>(world);
        float scale = 0;  // the host's option for the next interface
        SuilInstance* first = nullptr;  // an interface another one took the editor from
        bool running = true;
        int clicks = 0;
        std::istringstream steps(order);
        std::string step;
        while (steps >> step) {
            SCOPED_TRACE(step);
            int w = 0, h = 0;
            float factor = 0;
            if (step == "open") {
                sizes.clear();
                ui_ = openUi(parent, scale);
                ASSERT_NE(ui_, nullptr);
            } else if (step == "close" && ui_) {
                suil_instance_free(ui_);
                ui_ = nullptr;
            } else if (step == "second") {
                first = ui_;
                sizes.clear();
                ui_ = openUi(other);
                ASSERT_NE(ui_, nullptr);
            } else if (std::sscanf(step.c_str(), "scale:%f", &factor) == 1) {
                if (!ui_) {
                    scale = factor;
                    continue;
                }
                const auto* options =
                    static_cast<const LV2_Options_Interface*>(suil_instance_extension_data(ui_, LV2_OPTIONS__interface));
                const LV2_Options_Option change[] = {{LV2_OPTIONS_INSTANCE, 0, world.urids.id(LV2_UI__scaleFactor),
                                                      sizeof(float), world.urids.id(LV2_ATOM__Float), &factor},
                                                     {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
                EXPECT_EQ(options->set(suil_instance_get_handle(ui_), change) == 0, factor <= 4);
            } else if (std::sscanf(step.c_str(), "size:%d:%d", &w, &h) == 2) {
                hostResizes(ui_, w, h);
                sizes.emplace_back(w, h);  // the host knows the size it gave
            } else if (step == "deactivate" || step == "activate") {
                running = step == "activate";
                (running ? lilv_instance_activate : lilv_instance_deactivate)(plugin->instance);
            } else if (step == "drop") {
                plugin.reset();  // the host frees the plug-in before its interface
            } else if (step == "click") {
                ASSERT_TRUE(ui_ && plugin);
                writes.clear();
                const double s = sizeOf(reinterpret_cast<Window>(suil_instance_get_widget(ui_))).first / 681.0;
                XRaiseWindow(display, first ? other : parent);
                // A row higher each time, so each click changes the value.
                x11_test::pointerTo(display, first ? other : parent, static_cast<int>(630 * s),
                                    static_cast<int>((299 - clicks++) * s));
                serve(70, running);
                x11_test::button(display, Button1, true);
                serve(150, running);
                x11_test::button(display, Button1, false);
                serve(100, running);
                ASSERT_FALSE(writes.empty());
                for (const PortWrite& write : writes) EXPECT_EQ(write.port, kFirstControl + 2);
                plugin->controls[2] = writes.back().value;  // the host's port follows
            }
            serve(60, running);
            const bool shown = ui_ && plugin;
            const Window where = first ? other : parent;
            EXPECT_EQ(x11_test::children(display, where).size(), shown ? 1u : 0u);
            if (shown) {
                EXPECT_EQ(idle(ui_), 0);
                ASSERT_FALSE(sizes.empty());
                EXPECT_EQ(sizeOf(x11_test::children(display, where)[0]), sizes.back());
            } else if (ui_) {
                EXPECT_EQ(idle(ui_), 1);  // the host may close it
            }
            if (first) {
                EXPECT_EQ(idle(first), 1);
                EXPECT_TRUE(x11_test::children(display, parent).empty());
            }
        }
        if (ui_) suil_instance_free(ui_);
        if (first) suil_instance_free(first);
        ui_ = first = nullptr;
        plugin.reset();
        XSync(display, False);
        EXPECT_TRUE(x11_test::children(display, parent).empty());
        EXPECT_TRUE(x11_test::children(display, other).empty());
    }
    XDestroyWindow(display, other);
}

}  // namespace
}  // namespace lv2test
