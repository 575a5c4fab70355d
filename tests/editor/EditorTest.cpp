// The editor and its view against a fake window: opening and closing, the
// frame timer's pacing on a driven clock, idle pacing, and what the view
// hands the adapter. No window system is involved.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "editor/CDrawContext.h"
#include "editor/CVeSTEditor.h"
#include "editor/CVeSTView.h"
#include "editor/EditorScale.h"
#include "editor/EditorWindow.h"
#include "editor/cairo/CairoGraphics.h"
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"
#include "runtime/platform/Platform.h"

namespace {

// What the fake windows saw, in order, across every window of a test.
std::vector<std::string> gLog;
int gLiveWindows = 0;
bool gRefuseOpen = false;
EditorWindowClient* gClient = nullptr;
double gScreenScale = 0;  // what the fake screen asks for

class FakeWindow final : public EditorWindow {
public:
    FakeWindow() { ++gLiveWindows; }
    ~FakeWindow() override { --gLiveWindows; }
    bool open(void* parent, int width, int height, EditorWindowClient& client) override {
        gLog.push_back("open " + std::to_string(reinterpret_cast<std::uintptr_t>(parent)) + " " +
                       std::to_string(width) + "x" + std::to_string(height));
        if (gRefuseOpen) return false;
        gClient = &client;
        opened = true;
        return true;
    }
    void close() override {
        gLog.push_back("close");
        opened = false;
        gClient = nullptr;
    }
    void invalidate() override { gLog.push_back("invalidate"); }
    void idle() override { gLog.push_back("idle"); }
    bool isOpen() const override { return opened; }
    void setScale(double s) override {
        if (s != scale) gLog.push_back("scale " + std::to_string(s).substr(0, 4));
        scale = s;
    }
    double screenScale(void*) override { return gScreenScale; }
    double rememberedScreenScale() override { return gScreenScale; }

private:
    bool opened = false;
    double scale = 1;
};

std::unique_ptr<EditorWindow> makeFake() { return std::make_unique<FakeWindow>(); }

std::int32_t gClock = 0;
std::int32_t drivenClock() { return gClock; }

std::vector<std::int32_t> gHostOpcodes;
vst2::AEffect* gDescriptor = nullptr;
bool gIdleFromMasterIdle = false;
vst2::VstIntPtr recordingHost(vst2::AEffect*, std::int32_t opcode, std::int32_t index, vst2::VstIntPtr, void*,
                              float) {
    gHostOpcodes.push_back(opcode);
    if (opcode == vst2::audioMasterBeginEdit || opcode == vst2::audioMasterEndEdit) gHostOpcodes.push_back(index);
    // Hosts run the editor's idle from inside their master idle.
    if (opcode == vst2::audioMasterIdle && gIdleFromMasterIdle && gDescriptor)
        gDescriptor->dispatcher(gDescriptor, vst2::effEditIdle, 0, 0, nullptr, 0);
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

int count(const std::string& entry) {
    int n = 0;
    for (const std::string& e : gLog) n += e == entry;
    return n;
}

class EditorTest : public testing::Test {
protected:
    void SetUp() override {
        gLog.clear();
        gHostOpcodes.clear();
        gRefuseOpen = false;
        gIdleFromMasterIdle = false;
        gScreenScale = 0;
        gClock = 100000;
        platform::Hooks hooks;
        hooks.frameClockMs = &drivenClock;
        previousHooks = platform::setHooks(hooks);
        previousFactory = installEditorWindowFactory(&makeFake);
        descriptor = vsthost::createPluginInstance<TPlexaEffect>(&recordingHost);
        ASSERT_NE(descriptor, nullptr);
        gDescriptor = descriptor;
        adapter = static_cast<CVeST*>(descriptor->object);
        effect = static_cast<TPlexaEffect*>(adapter->effect);
        editor = dynamic_cast<CVeSTEditor*>(adapter->getEditor());
        ASSERT_NE(editor, nullptr);
        dispatch(vst2::effOpen);
    }
    void TearDown() override {
        if (descriptor) dispatch(vst2::effClose);
        gDescriptor = nullptr;
        EXPECT_EQ(gLiveWindows, 0);  // the editor goes with the adapter, and its window with it
        installEditorWindowFactory(previousFactory);
        platform::setHooks(previousHooks);
    }

    vst2::VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr) {
        return descriptor->dispatcher(descriptor, opcode, index, value, ptr, 0);
    }
    vst2::VstIntPtr openEditor(std::uintptr_t parent = 42) {
        return dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
    }
    void switchOn() { dispatch(vst2::effMainsChanged, 0, 1); }  // the init section sets 30 frames per second

    vst2::AEffect* descriptor = nullptr;
    CVeST* adapter = nullptr;
    TPlexaEffect* effect = nullptr;
    CVeSTEditor* editor = nullptr;
    platform::Hooks previousHooks;
    EditorWindowFactory previousFactory = nullptr;
};

TEST_F(EditorTest, OpenBuildsAWindowAndAViewEachTimeAndCloseReleasesThem) {
    vst2::ERect* rect = nullptr;
    ASSERT_EQ(dispatch(vst2::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ((std::vector<int>{rect->top, rect->left, rect->bottom, rect->right}), (std::vector<int>{0, 0, 371, 681}));
    EXPECT_FALSE(editor->isOpen());

    ASSERT_EQ(openEditor(42), 1);
    EXPECT_TRUE(editor->isOpen());
    EXPECT_EQ(gLog, (std::vector<std::string>{"open 42 681x371"}));
    CVeSTView* first = editor->view();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(gClient, first);
    EXPECT_EQ(first->adapter, adapter);
    EXPECT_EQ((std::vector<double>{first->left, first->top, first->right, first->bottom}),
              (std::vector<double>{0, 0, 681, 371}));
    ASSERT_EQ(dispatch(vst2::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->bottom, 371);
    EXPECT_EQ(rect->right, 681);

    // Hosts open again without closing: the old window is closed first.
    ASSERT_EQ(openEditor(43), 1);
    EXPECT_EQ(gLog, (std::vector<std::string>{"open 42 681x371", "close", "open 43 681x371"}));
    EXPECT_EQ(gLiveWindows, 1);

    dispatch(vst2::effEditClose);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->view(), nullptr);
    EXPECT_EQ(gLiveWindows, 0);
    dispatch(vst2::effEditClose);  // twice is harmless
    EXPECT_EQ(count("close"), 2);

    ASSERT_EQ(openEditor(44), 1);
    EXPECT_NE(editor->view(), nullptr);
    EXPECT_TRUE(editor->isOpen());
}

TEST_F(EditorTest, WithoutAPlatformWindowOrWhenTheWindowFailsOpenAnswersZero) {
    installEditorWindowFactory(nullptr);  // as on Windows until its window arrives
    EXPECT_EQ(openEditor(), 0);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_FALSE(adapter->redrawEditor());

    installEditorWindowFactory(&makeFake);
    gRefuseOpen = true;  // no display, a parent that is no window
    EXPECT_EQ(openEditor(), 0);
    EXPECT_EQ(gLiveWindows, 0);
    EXPECT_EQ(editor->view(), nullptr);
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(count("idle"), 0);
}

TEST_F(EditorTest, IdleRunsTheFrameTimerThenTheWindowAndOnlyWhileOpen) {
    switchOn();
    dispatch(vst2::effEditIdle);  // before the first open, as some hosts do
    EXPECT_TRUE(gLog.empty());
    EXPECT_EQ(effect->lastFrameTick, 0);  // the frame timer did not run

    ASSERT_EQ(openEditor(), 1);
    gLog.clear();
    gClock += 1000;
    dispatch(vst2::effEditIdle);
    // The invalidation comes first, so the same idle paints it.
    EXPECT_EQ(gLog, (std::vector<std::string>{"invalidate", "idle"}));
    EXPECT_EQ(effect->lastFrameTick, gClock);

    dispatch(vst2::effEditClose);
    gLog.clear();
    gClock += 1000;
    dispatch(vst2::effEditIdle);
    EXPECT_TRUE(gLog.empty());
    EXPECT_FALSE(adapter->redrawEditor());
}

TEST_F(EditorTest, FramesAreRequestedAtMostOncePer33MillisecondsAndOnlyFromIdle) {
    switchOn();
    ASSERT_EQ(openEditor(), 1);
    gLog.clear();
    // Idle every 5 ms for one second of clock.
    std::vector<std::int32_t> requestTimes;
    for (int i = 0; i < 200; ++i) {
        gClock += 5;
        const int before = count("invalidate");
        dispatch(vst2::effEditIdle);
        if (count("invalidate") > before) requestTimes.push_back(gClock);
    }
    ASSERT_GE(requestTimes.size(), 2u);
    for (std::size_t i = 1; i < requestTimes.size(); ++i)
        EXPECT_GT(requestTimes[i] - requestTimes[i - 1], 1000.0 / 30) << i;
    // 35 ms apart (the first step past 33.3 ms): 28 or 29 frames in a second.
    EXPECT_GE(requestTimes.size(), 28u);
    EXPECT_LE(requestTimes.size(), 30u);
    EXPECT_EQ(count("idle"), 200);

    // Nothing but idle asks: parameter changes and processing do not.
    gLog.clear();
    descriptor->setParameter(descriptor, 0, 0.7f);
    float silence[8] = {};
    float* channels[2] = {silence, silence + 4};
    descriptor->processReplacing(descriptor, channels, channels, 4);
    EXPECT_EQ(count("invalidate"), 0);

    // A host that idles rarely gets one request per idle, not a backlog.
    gLog.clear();
    for (int i = 0; i < 3; ++i) {
        gClock += 500;
        dispatch(vst2::effEditIdle);
    }
    EXPECT_EQ(count("invalidate"), 3);
}

TEST_F(EditorTest, BeforeInitialisationTheFirstMouseEventStartsTheRefresh) {
    ASSERT_EQ(openEditor(), 1);  // opened, never switched on: the frame rate is 0
    gLog.clear();
    for (int i = 0; i < 10; ++i) {
        gClock += 100;
        dispatch(vst2::effEditIdle);
    }
    EXPECT_EQ(count("invalidate"), 0);
    gClient->onMouseMoved(10, 10, 0);
    EXPECT_EQ(effect->frameRate, 30.0);
    gClock += 100;
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(count("invalidate"), 1);
}

TEST_F(EditorTest, ViewLendsTheContextForOnePaintOnlyEvenWhenThePaintThrows) {
    ASSERT_EQ(openEditor(), 1);
    CVeSTView* view = editor->view();
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 681, 371);
    cairo_t* cr = cairo_create(image);
    {
        gfx::CairoGraphics graphics(cr);
        CDrawContext context(&graphics, gfx::IntRect{0, 0, 681, 371});

        static CDrawContext* seen = nullptr;
        static double seenWidth = 0, seenHeight = 0;
        adapter->callbacks.editorPaint = [](CVeST* a, double w, double h) {
            seen = a->drawContext;
            seenWidth = w;
            seenHeight = h;
        };
        view->draw(context);
        EXPECT_EQ(seen, &context);
        EXPECT_EQ(seenWidth, 681.0);
        EXPECT_EQ(seenHeight, 371.0);
        EXPECT_EQ(adapter->drawContext, nullptr);

        adapter->callbacks.editorPaint = [](CVeST*, double, double) { throw std::runtime_error("frame section"); };
        EXPECT_THROW(view->draw(context), std::runtime_error);
        EXPECT_EQ(adapter->drawContext, nullptr);

        adapter->callbacks.editorPaint = nullptr;  // an empty entry: nothing runs, nothing is lent
        view->draw(context);
        EXPECT_EQ(adapter->drawContext, nullptr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(image);
}

TEST_F(EditorTest, ViewForwardsMouseToTheRuntimeAndReportsEveryEventHandled) {
    ASSERT_EQ(openEditor(), 1);
    CVeSTView* view = editor->view();
    // Right button with control: the runtime's 2 + 4; a move keeps it, a release clears it.
    EXPECT_TRUE(view->onMouseDown(120, 60, 8 | 32));
    EXPECT_EQ(effect->mouseCap, 6.0);
    EXPECT_EQ(effect->mouseX, 120.0);
    EXPECT_EQ(effect->mouseY, 60.0);
    EXPECT_TRUE(view->onMouseMoved(130.5, 61, 8 | 32));
    EXPECT_EQ(effect->mouseCap, 6.0);
    EXPECT_EQ(effect->mouseX, 130.5);
    EXPECT_TRUE(view->onMouseUp(131, 62, 0));
    EXPECT_EQ(effect->mouseCap, 0.0);
    // A double click arrives as a plain press.
    EXPECT_TRUE(view->onMouseDown(5, 5, 2 | 1024));
    EXPECT_EQ(effect->mouseCap, 1.0);

    // Empty entries: still handled, so the window keeps the pointer captured.
    adapter->callbacks.mouseDown = nullptr;
    adapter->callbacks.mouseUp = nullptr;
    adapter->callbacks.mouseMoved = nullptr;
    EXPECT_TRUE(view->onMouseDown(1, 1, 2));
    EXPECT_TRUE(view->onMouseMoved(2, 2, 2));
    EXPECT_TRUE(view->onMouseUp(3, 3, 0));
    EXPECT_EQ(effect->mouseX, 5.0);
}

// A tap no frame saw before the editor closed acts in the first frame of the
// reopened editor, unless that frame comes a second or more after it.
TEST_F(EditorTest, ATapTheClosedEditorNeverShowedActsAfterAQuickReopenOnly) {
    const auto tapThenReopenAfter = [&](std::int32_t closedMs) {
        ASSERT_EQ(openEditor(), 1);
        effect->setSliderValue(TPlexaEffect::kInputTrim, 7);
        editor->view()->onMouseDown(460, 25, 2);  // left, on the input gain row: 13.2 dB
        editor->view()->onMouseUp(460, 25, 0);
        dispatch(vst2::effEditClose);
        gClock += closedMs;
        ASSERT_EQ(openEditor(), 1);
        adapter->callbacks.editorPaint(adapter, 681, 371);  // a frame; there is nothing to draw into
    };
    tapThenReopenAfter(200);  // as hosts that rebuild the editor when it is docked
    EXPECT_NEAR(effect->inputTrimDb(), 13.2, 1e-9);
    tapThenReopenAfter(5000);
    EXPECT_EQ(effect->inputTrimDb(), 7.0);
}

TEST_F(EditorTest, KeysAreHandledOnlyWithAWindowAndChangeNothing) {
    EXPECT_EQ(dispatch(vst2::effEditKeyDown, 'a', 0), 0);
    EXPECT_EQ(dispatch(vst2::effEditKeyUp, 'a', 0), 0);
    ASSERT_EQ(openEditor(), 1);
    const auto before = std::vector<double>(std::begin(effect->sliderValues), std::end(effect->sliderValues));
    const double cap = effect->mouseCap, rate = effect->frameRate;
    EXPECT_EQ(dispatch(vst2::effEditKeyDown, 'a', 0), 1);
    EXPECT_EQ(dispatch(vst2::effEditKeyUp, 'a', 0), 1);
    EXPECT_EQ(std::vector<double>(std::begin(effect->sliderValues), std::end(effect->sliderValues)), before);
    EXPECT_EQ(effect->mouseCap, cap);
    EXPECT_EQ(effect->frameRate, rate);
    dispatch(vst2::effEditClose);
    EXPECT_EQ(dispatch(vst2::effEditKeyDown, 'a', 0), 0);
}

TEST_F(EditorTest, KnobModeIsProcessWideAndEditsReachTheHost) {
    EXPECT_EQ(dispatch(vst2::effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(CVeSTEditor::knobMode(), 2);
    vst2::AEffect* other = vsthost::createPluginInstance<TPlexaEffect>(&recordingHost);
    ASSERT_NE(other, nullptr);
    other->dispatcher(other, vst2::effSetEditKnobMode, 0, 1, nullptr, 0);
    EXPECT_EQ(CVeSTEditor::knobMode(), 1);
    other->dispatcher(other, vst2::effClose, 0, 0, nullptr, 0);
    dispatch(vst2::effSetEditKnobMode, 0, 0);

    gHostOpcodes.clear();
    editor->beginEdit(3);
    editor->endEdit(3);
    EXPECT_EQ(gHostOpcodes, (std::vector<std::int32_t>{43, 3, 44, 3}));
}

TEST_F(EditorTest, IdlePacingRunsAtMostOnceInAboutFiftyMillisecondsAndGuardsTheHostsReentry) {
    switchOn();
    ASSERT_EQ(openEditor(), 1);
    gIdleFromMasterIdle = true;
    const auto masterIdles = [] {
        int n = 0;
        for (std::int32_t opcode : gHostOpcodes) n += opcode == vst2::audioMasterIdle;
        return n;
    };
    gLog.clear();
    gHostOpcodes.clear();
    gClock += 200;
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 1);
    // The host's master idle idled the editor again: the frame timer ran, the
    // window's idle did not (the in-idle flag), only the outer one's did.
    EXPECT_EQ(count("idle"), 1);

    // The next run waits until 100 ms later, less the 50 ms grace and the 4 ms nap.
    const std::int32_t last = gClock;
    for (std::int32_t at : {10, 45}) {
        gClock = last + at;
        editor->doIdleStuff();
        EXPECT_EQ(masterIdles(), 1) << at;
    }
    gClock = last + 47;
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 2);
    gClock += 100;
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 3);

    // Across the 32-bit wrap of the millisecond counter.
    gClock = INT32_MAX - 20;
    editor->doIdleStuff();
    const int beforeWrap = masterIdles();
    gClock = INT32_MIN + 100;
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), beforeWrap + 1);
}

}  // namespace

TEST(EditorScale, OnlySensibleScalesCountWhereverTheyAreRead) {
    for (auto [text, scale] : std::vector<std::pair<const char*, double>>{
             {"1.5", 1.5}, {" 2 \n", 2}, {"4", 4}, {"1", 1}, {"1.25", 1.25}, {"0.5", 0}, {"4.01", 0}, {"-2", 0},
             {"nan", 0}, {"inf", 0}, {"1e0", 0}, {"2x", 0}, {"1,5", 0}, {".", 0}, {"", 0}, {nullptr, 0}})
        EXPECT_EQ(editor_scale::parse(text), scale) << (text ? text : "null");
    EXPECT_EQ(editor_scale::fromSettings("# mine\n\nvolume=3\n scale = 1.5\r\n"), 1.5);
    EXPECT_EQ(editor_scale::fromSettings("scale=2\nscale=banana\n"), 0);  // the last line says
    EXPECT_EQ(editor_scale::fromSettings("; scale=2\nscales=2\n"), 0);
    EXPECT_EQ(editor_scale::fromXResources("Xft.antialias:\t1\nXft.dpi:\t192\n"), 2);
    EXPECT_EQ(editor_scale::fromXResources("Xft.dpi: 144"), 1.5);
    EXPECT_EQ(editor_scale::fromXResources("Xft.dpi:\t72\n"), 0);  // below 1: the next source
    EXPECT_EQ(editor_scale::fromXResources("Xft.dpi:\tlots\n"), 0);
    EXPECT_EQ(editor_scale::fromXResources("Xft.hinting:\t1\n"), 0);
    EXPECT_EQ(editor_scale::fromXResources(nullptr), 0);
    EXPECT_EQ(editor_scale::choose(0, 0, 0), 1);
    EXPECT_EQ(editor_scale::choose(0, 2, 1.5), 2);
    EXPECT_EQ(editor_scale::choose(1.25, 2, 3), 1.25);
    EXPECT_EQ(editor_scale::choose(0, 9, 1.5), 1.5);
    EXPECT_EQ(editor_scale::scaled(681, 1.5), 1022);
    EXPECT_EQ(editor_scale::scaled(371, 1.5), 557);
    EXPECT_EQ(editor_scale::scaled(371, 0), 371);

    // The nearest size at 681:371 with a scale of 1 to 4; a size it gives
    // comes back unchanged.
    using Size = editor_scale::Size;
    for (auto [w, h, fitted] : std::vector<std::tuple<double, double, Size>>{
             {851, 464, {851, 464}}, {1362, 742, {1362, 742}}, {1000, 500, {981, 534}}, {900, 900, {1072, 584}},
             {0, 0, {681, 371}}, {1e12, 5, {2724, 1484}}, {std::nan(""), 371, {681, 371}}}) {
        EXPECT_EQ(editor_scale::fit(681, 371, w, h), fitted) << w << "x" << h;
        EXPECT_EQ(editor_scale::fit(681, 371, fitted.width, fitted.height), fitted);
    }
    EXPECT_EQ(editor_scale::withScale("# mine\nscale=2\nvolume=3\n scale = 1\n", 1.25), "# mine\nscale=1.25\nvolume=3\n");
    EXPECT_EQ(editor_scale::withScale("; scale=2\nvolume=3", 2), "; scale=2\nvolume=3\nscale=2\n");
    // Enough places for the size to come back to the pixel.
    const double chosen = editor_scale::fromSettings(editor_scale::withScale("", 981.0 / 681));
    EXPECT_EQ(editor_scale::scaled(681, chosen), 981);
    EXPECT_EQ(editor_scale::scaled(371, chosen), 534);
}

// The user's session setting beats the user's file, which beats the host,
// which beats the screen; the window follows each choice while open, and a
// screen change alone makes the editor ask its VST 2.4 host for the size.
TEST_F(EditorTest, TheScaleComesFromUserHostAndScreenInThatOrder) {
    const std::filesystem::path config = std::filesystem::temp_directory_path() / "tonarvo-scale-test";
    std::filesystem::create_directories(config / "Tonarvo");
    const auto settings = [&](const char* text) { std::ofstream(config / "Tonarvo" / "settings") << text; };
    settings("scale=3\n");
    struct Environment {
        ~Environment() {
            unsetenv("TONARVO_SCALE");
            unsetenv("XDG_CONFIG_HOME");
        }
    } restore;
    unsetenv("TONARVO_SCALE");
    const auto size = [&] {
        vst2::ERect* rect = nullptr;
        dispatch(vst2::effEditGetRect, 0, 0, &rect);
        return std::pair(int{rect->right}, int{rect->bottom});
    };

    gScreenScale = 1.5;
    EXPECT_EQ(size(), std::pair(1022, 557));
    ASSERT_EQ(openEditor(), 1);
    EXPECT_EQ(gLog, (std::vector<std::string>{"scale 1.50", "open 42 681x371"}));
    EXPECT_TRUE(editor->setScale(2));  // the host's, while open
    EXPECT_EQ(gLog.back(), "scale 2.00");
    EXPECT_EQ(size(), std::pair(1362, 742));
    EXPECT_TRUE(editor->setScale(2));
    EXPECT_FALSE(editor->setScale(std::nan("")));  // no scale: refused, withdrawn, the screen's again
    EXPECT_EQ(editor->scale(), 1.5);

    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    editor->setScale(2);
    ASSERT_EQ(openEditor(), 1);
    EXPECT_EQ(editor->scale(), 3);
    EXPECT_FALSE(editor->setScale(2));  // the user's setting comes first: refused
    setenv("TONARVO_SCALE", "1.25", 1);
    ASSERT_EQ(openEditor(), 1);
    EXPECT_EQ(editor->scale(), 1.25);
    setenv("TONARVO_SCALE", "huge", 1);
    settings("scale=banana\n");
    ASSERT_EQ(openEditor(), 1);
    EXPECT_EQ(editor->scale(), 2);  // neither user value counts: the host's
    std::filesystem::remove_all(config);

    // The screen alone decides: a change of it reaches the host at an idle.
    editor->setScale(0);
    ASSERT_EQ(openEditor(), 1);
    switchOn();
    gHostOpcodes.clear();
    gScreenScale = 2;
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(size(), std::pair(1362, 742));
    EXPECT_EQ(std::count(gHostOpcodes.begin(), gHostOpcodes.end(), vst2::audioMasterSizeWindow), 1);
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(std::count(gHostOpcodes.begin(), gHostOpcodes.end(), vst2::audioMasterSizeWindow), 1);
}

// The user resizes the editor through a host: the nearest fitting size, a
// choice that beats the host's scale and the settings file, written to the
// file once it has rested for half a second, and taken at the next open. A
// closed editor's size is measured once, not at every question.
TEST_F(EditorTest, AResizeIsTheUsersChoiceAndIsRemembered) {
    const std::filesystem::path config = std::filesystem::temp_directory_path() / "tonarvo-resize-test";
    std::filesystem::remove_all(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    struct Environment {
        std::filesystem::path config;
        ~Environment() {
            unsetenv("XDG_CONFIG_HOME");
            std::filesystem::remove_all(config);
        }
    } restore{config};
    const auto saved = [&] {
        std::ifstream file(config / "Tonarvo" / "settings");
        return std::string(std::istreambuf_iterator<char>(file), {});
    };

    gScreenScale = 1.5;
    EXPECT_EQ(editor->size(), (editor_scale::Size{1022, 557}));
    gScreenScale = 2;  // not looked at again until the editor opens or closes
    EXPECT_EQ(editor->size(), (editor_scale::Size{1022, 557}));
    EXPECT_TRUE(editor->setScale(1.25));
    ASSERT_EQ(openEditor(), 1);
    EXPECT_TRUE(editor->resizeTo(1000, 500));
    EXPECT_EQ(editor->size(), (editor_scale::Size{981, 534}));
    EXPECT_EQ(gLog.back(), "scale 1.44");
    EXPECT_FALSE(editor->resizeTo(981, 534));
    EXPECT_FALSE(editor->setScale(2));  // the user's choice comes first
    EXPECT_EQ(editor->size(), (editor_scale::Size{981, 534}));

    switchOn();
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(saved(), "");
    gClock += 600;
    dispatch(vst2::effEditIdle);
    EXPECT_EQ(saved(), "scale=1.4405286\n");

    // Another instance of this process opens at the user's choice.
    dispatch(vst2::effEditClose);
    EXPECT_TRUE(editor->resizeTo(851, 464));  // saved as it closes
    dispatch(vst2::effClose);
    descriptor = vsthost::createPluginInstance<TPlexaEffect>(&recordingHost);
    gDescriptor = descriptor;
    auto* next = dynamic_cast<CVeSTEditor*>(static_cast<CVeST*>(descriptor->object)->getEditor());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->size(), (editor_scale::Size{851, 464}));
}
