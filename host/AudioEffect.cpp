#include "host/AudioEffect.h"

#include <cstring>

#include "editor/AEffEditor.h"

using namespace vst2;

namespace {
AudioEffect* adapterOf(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }
}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = &dispatchEffClass;
    cEffect.process = &processClass;
    cEffect.setParameter = &setParameterClass;
    cEffect.getParameter = &getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharConstant('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = &processClassReplacing;
    cEffect.processDoubleReplacing = &processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (editor != newEditor) delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

std::int32_t AudioEffect::getMasterVersion() {
    return audioMaster ? static_cast<std::int32_t>(audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f))
                       : 0;
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

void AudioEffect::setParameterAutomated(std::int32_t index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr AudioEffect::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); return 0;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<std::int32_t>(value));
            return 0;
        case effGetProgram: return getProgram();
        case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
        case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
        case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
        case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
        case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<std::int32_t>(value)); return 0;
        case effMainsChanged:
            if (value)
                resume();
            else
                suspend();
            return 0;
        case effEditGetRect:
            // ERect** at ptr; a null place cannot receive the address.
            if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
            return 0;
        case effEditOpen: return editor ? (editor->open(ptr) ? 1 : 0) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            // Hosts send idle before the first open (Ardour 5); the editor ignores it then.
            if (editor) editor->idle();
            return 0;
        case effIdentify: return fourCharConstant('N', 'v', 'E', 'f');
        case effGetChunk:
            if (ptr == nullptr) return 0;
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            // A byte count that is negative or does not fit the 32-bit count
            // cannot describe a chunk; neither can a null address with bytes.
            if (value < 0 || value > INT32_MAX || (ptr == nullptr && value > 0)) return 0;
            return setChunk(ptr, static_cast<std::int32_t>(value), index != 0);
        default: return 0;
    }
}

VstIntPtr AudioEffect::dispatchEffClass(AEffect* e, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                        void* ptr, float opt) {
    AudioEffect* adapter = adapterOf(e);
    if (adapter == nullptr) return 0;
    if (opcode == effClose) {
        adapter->dispatcher(opcode, index, value, ptr, opt);
        delete adapter;
        return 1;
    }
    return adapter->dispatcher(opcode, index, value, ptr, opt);
}

// The accumulating call is deprecated; outputs stay as the host gave them.
void AudioEffect::processClass(AEffect*, float**, float**, std::int32_t) {}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs, std::int32_t frames) {
    if (AudioEffect* adapter = adapterOf(e)) adapter->processReplacing(inputs, outputs, frames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs, std::int32_t frames) {
    if (AudioEffect* adapter = adapterOf(e)) adapter->processDoubleReplacing(inputs, outputs, frames);
}

void AudioEffect::setParameterClass(AEffect* e, std::int32_t index, float value) {
    if (AudioEffect* adapter = adapterOf(e)) adapter->setParameter(index, value);
}

float AudioEffect::getParameterClass(AEffect* e, std::int32_t index) {
    AudioEffect* adapter = adapterOf(e);
    return adapter ? adapter->getParameter(index) : 0.0f;
}
