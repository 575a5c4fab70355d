#include "host/AudioEffectX.h"

#include "editor/AEffEditor.h"

using namespace vst2;

void AudioEffectX::resume() {
    if (!(cEffect.flags & effFlagsIsSynth) && canDo("receiveVstMidiEvent") == 1) wantEvents();
}

VstIntPtr AudioEffectX::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    if (opcode < effProcessEvents || opcode > effGetNumMidiOutputChannels)
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);

    switch (opcode) {
        case effProcessEvents: processEvents(static_cast<VstEvents*>(ptr)); return 1;
        case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
        case effGetProgramNameIndexed:
            return getProgramNameIndexed(static_cast<std::int32_t>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
        case effGetPlugCategory: return getPlugCategory();
        case effGetEffectName: return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorString: return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProductString: return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorVersion: return getVendorVersion();
        case effCanDo: return ptr ? canDo(static_cast<const char*>(ptr)) : -1;
        case effGetVstVersion: return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (!editor) return 0;
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            // A float outside the integer range (or NaN) carries no modifier.
            const std::int32_t modifier = (opt > -2147483648.0f && opt < 2147483648.0f) ? static_cast<std::int32_t>(opt) : 0;
            key.modifier = static_cast<unsigned char>(modifier & 0xFF);
            const bool handled = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
            return handled ? 1 : 0;
        }
        case effSetEditKnobMode: return editor ? (editor->setKnobMode(static_cast<std::int32_t>(value)) ? 1 : 0) : 0;
        case effGetCurrentMidiProgram: return -1;
        case effGetSpeakerArrangement:
            // Both places receive "no arrangement"; either may be missing.
            if (value) *reinterpret_cast<void**>(value) = nullptr;
            if (ptr) *static_cast<void**>(ptr) = nullptr;
            return 0;
        case effSetTotalSampleToProcess: return value;
        default: return 0;
    }
}
