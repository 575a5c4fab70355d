// The effect's editor: a platform window (the frame) holding one view, of a
// fixed layout drawn at a scale (editor/EditorScale.h says where it comes
// from). Redraws come from the host's idle calls through the effect's frame
// timer; where the platform has no window yet, opening answers 0 and the
// host shows its generic parameter view.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/AEffEditor.h"
#include "editor/EditorScale.h"

class CVeST;
class CVeSTView;
class EditorWindow;
class FrameObserver;

class CVeSTEditor : public AEffEditor {
public:
    CVeSTEditor(CVeST* adapter, std::int32_t width, std::int32_t height);
    ~CVeSTEditor() override;

    bool getRect(vst2::ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    bool isOpen() override;
    void idle() override;
    bool onKeyDown(vst2::VstKeyCode& key) override;
    bool onKeyUp(vst2::VstKeyCode& key) override;
    bool setKnobMode(std::int32_t mode) override;
    bool invalidate() override;

    // Idle pacing for modal loops: at most one idle and one host master idle
    // per 100 ms of tick clock.
    void doIdleStuff();
    bool beginEdit(std::int32_t index);
    bool endEdit(std::int32_t index);

    static std::int32_t knobMode();

    // The host's scale (VST 3 content scale, CLAP gui scale, LV2
    // ui:scaleFactor), before or while open; 0 or an unusable value withdraws
    // it. An open window takes the resulting scale at once. True when the
    // editor draws at the host's scale now; false when the value is no scale
    // or the user's choice or setting comes first.
    bool setScale(double hostScale);
    // The user's choice of size through a host (a window dragged larger):
    // the editor takes the nearest size that fits (fit), and its scale is
    // the user's from now on, written to the settings file once the choice
    // has rested for half a second or the editor closes. True when the size
    // changed.
    bool resizeTo(double width, double height);
    // The nearest size the editor can take: its layout at a scale of 1 to 4.
    editor_scale::Size fit(double width, double height) const;
    // Device pixels per layout pixel, as last chosen.
    double scale() const { return current; }
    // The editor's size in device pixels: the window's while open. While
    // closed, as measured once after each open or close: the user's setting
    // read, and the screen's scale from what this process last saw, or, when
    // `lookAtScreen`, from a look at the display (what getRect does, for
    // VST 2.4 hosts that size their window from it alone).
    editor_scale::Size size(bool lookAtScreen = false);
    // Told of every frame the interface runs; null for none.
    void setFrameObserver(FrameObserver* observer);

    CVeSTView* view() const { return currentView.get(); }
    // The open window's platform id, 0 while closed.
    std::uintptr_t nativeWindow() const;
    // The open window's event descriptor (see EditorWindow), -1 while closed.
    int eventDescriptor() const;

    // The layout's size: what the effect draws in and the pointer arrives in.
    std::int32_t width;
    std::int32_t height;

private:
    // Takes the scale the sources give now; true when the size changed.
    bool rescale(double screen);
    // The sources of a closed editor's scale, once after each open or close.
    void measureClosed(bool lookAtScreen);
    void saveChoice();

    CVeST* adapter;
    vst2::ERect rectangle;
    std::unique_ptr<EditorWindow> frame;
    std::unique_ptr<CVeSTView> currentView;
    FrameObserver* observer = nullptr;
    std::uint32_t lastTicks;
    bool inIdle = false;
    double hostScale = 0.0;
    double userScale = 0.0;    // read at open and when a closed size is measured, not at every idle
    double chosenScale = 0.0;  // the user's resize through the host, for this editor's life
    double closedScreen = 0.0;
    bool closedMeasured = false;
    bool choiceUnsaved = false;
    std::uint32_t choiceTicks = 0;
    double current = 1.0;
};
