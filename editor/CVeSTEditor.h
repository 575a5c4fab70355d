// The effect's fixed-size editor: a platform window (the frame) holding one
// view. Redraws come from the host's idle calls through the effect's frame
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

    CVeSTView* view() const { return currentView.get(); }
    // The open window's platform id, 0 while closed.
    std::uintptr_t nativeWindow() const;
    // The open window's event descriptor (see EditorWindow), -1 while closed.
    int eventDescriptor() const;

    std::int32_t width;
    std::int32_t height;

private:
    CVeST* adapter;
    vst2::ERect rectangle;
    std::unique_ptr<EditorWindow> frame;
    std::unique_ptr<CVeSTView> currentView;
    std::uint32_t lastTicks;
    bool inIdle = false;
};
