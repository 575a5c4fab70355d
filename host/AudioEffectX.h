// VST 2.x additions: opcodes 25-79, capabilities, identity strings, events.
#pragma once

#include "host/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    using AudioEffect::AudioEffect;

    vst2::VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, vst2::VstIntPtr value, void* ptr,
                               float opt) override;

    // Asks the host for MIDI when the effect takes it and is not an instrument.
    void resume() override;

    virtual std::int32_t processEvents(vst2::VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(std::int32_t) { return true; }
    virtual bool getProgramNameIndexed(std::int32_t, std::int32_t, char*) { return false; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual std::int32_t getVendorVersion() { return 0; }
    // 1 yes, -1 no, 0 don't know.
    virtual std::int32_t canDo(const char*) { return 0; }
    virtual std::int32_t getVstVersion() { return 2400; }
    virtual std::int32_t getPlugCategory() { return (cEffect.flags & vst2::effFlagsIsSynth) ? 2 : 0; }

    // Host callback wrappers.
    void wantEvents(std::int32_t filter = 1) { callHost(vst2::audioMasterWantMidi, 0, filter); }
    vst2::VstTimeInfo* getTimeInfo(std::int32_t filter) {
        return reinterpret_cast<vst2::VstTimeInfo*>(callHost(vst2::audioMasterGetTime, 0, filter));
    }
    bool updateDisplay() { return callHost(vst2::audioMasterUpdateDisplay) != 0; }
    bool sendVstEventsToHost(vst2::VstEvents* events) {
        return callHost(vst2::audioMasterProcessEvents, 0, 0, events) == 1;
    }
    bool beginEdit(std::int32_t index) { return callHost(vst2::audioMasterBeginEdit, index) != 0; }
    bool endEdit(std::int32_t index) { return callHost(vst2::audioMasterEndEdit, index) != 0; }
    // Asks the host to give the editor's window this size; false when it won't.
    bool sizeWindow(std::int32_t width, std::int32_t height) {
        return callHost(vst2::audioMasterSizeWindow, width, height) != 0;
    }
};
