// The editor as the host adapter sees it: a rectangle, open/close, idle and keys.
#pragma once

#include <cstdint>

#include "host/vst2_abi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(vst2::ERect** rect) = 0;
    virtual bool open(void* parentWindow) {
        systemWindow = parentWindow;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(vst2::VstKeyCode&) { return false; }
    virtual bool onKeyUp(vst2::VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(std::int32_t) { return false; }
    // Invalidates the whole editor so the window system repaints it; false when
    // there is no open window to invalidate.
    virtual bool invalidate() { return false; }

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
