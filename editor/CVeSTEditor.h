// The effect's fixed-size editor. The window itself is platform code; until
// a platform provides it, opening answers 0 and the host shows no editor.
#pragma once

#include <cstdint>

#include "editor/AEffEditor.h"

class CVeST;

class CVeSTEditor : public AEffEditor {
public:
    CVeSTEditor(CVeST* adapter, std::int32_t width, std::int32_t height);
    ~CVeSTEditor() override;

    bool getRect(vst2::ERect** rect) override;
    bool open(void* parentWindow) override;
    void close() override;
    bool isOpen() override { return frameOpen; }
    void idle() override;
    bool onKeyDown(vst2::VstKeyCode& key) override;
    bool onKeyUp(vst2::VstKeyCode& key) override;
    bool setKnobMode(std::int32_t mode) override;
    bool invalidate() override;

    static std::int32_t knobMode();

    std::int32_t width;
    std::int32_t height;

private:
    CVeST* adapter;
    vst2::ERect rectangle;
    bool frameOpen = false;
};
