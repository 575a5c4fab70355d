// The effect's editor: a platform window (the frame) holding one view, of a
// fixed layout drawn at a scale (editor/EditorScale.h says where it comes
// from). Redraws come from the host's idle calls through the effect's frame
// timer; where the platform has no window yet, opening answers 0 and the
// host shows its generic parameter view.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/AEffEditor.h"

class CVeST;
class CVeSTView;
class EditorWindow;

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
    // editor's size in device pixels changed; the caller tells its host.
    bool setScale(double hostScale);
    // Device pixels per layout pixel, as last chosen.
    double scale() const { return current; }
    // The editor's size in device pixels at that scale (what getRect reports).
    std::int32_t scaledWidth() const { return rectangle.right; }
    std::int32_t scaledHeight() const { return rectangle.bottom; }

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

    CVeST* adapter;
    vst2::ERect rectangle;
    std::unique_ptr<EditorWindow> frame;
    std::unique_ptr<CVeSTView> currentView;
    std::uint32_t lastTicks;
    bool inIdle = false;
    double hostScale = 0.0;
    double userScale = 0.0;  // read at getRect and open, not at every idle
    double current = 1.0;
};
