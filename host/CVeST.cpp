#include "host/CVeST.h"

#include <cstring>

#include "editor/AEffEditor.h"
#include "editor/CFontDesc.h"

using namespace vst2;

CVeST* CVeST::create(plexa::TPlexa* effect, const CVeSTCallbacks& callbacks, audioMasterCallback hostCallback,
                     std::int32_t programCount, std::int32_t parameterCount) {
    if (hostCallback == nullptr) return nullptr;
    if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    return new CVeST(effect, callbacks, hostCallback, programCount, parameterCount);
}

CVeST::CVeST(plexa::TPlexa* effect, const CVeSTCallbacks& callbacks, audioMasterCallback hostCallback,
             std::int32_t programCount, std::int32_t parameterCount)
    : AudioEffectX(hostCallback, programCount, parameterCount),
      effect(effect),
      midiRing(new VstMidiEvent[kMidiRingSize]()),
      callbacks(callbacks) {
    canProcessReplacing();
    canDoubleReplacing();
    if (this->callbacks.adapterCreated) this->callbacks.adapterCreated(this);
}

CVeST::~CVeST() {
    // Fonts first, then the effect, then (in the base) the editor.
    for (CFontDesc*& font : fontList) {
        if (font) font->forget();
        font = nullptr;
    }
    if (callbacks.adapterDestroyed) callbacks.adapterDestroyed(this);
    effect = nullptr;
    midiRing.reset();
    fontList.clear();
}

void CVeST::open() {
    if (callbacks.hostOpen) callbacks.hostOpen(this);
}

void CVeST::close() {
    if (callbacks.hostClose) callbacks.hostClose(this);
}

void CVeST::suspend() {
    if (callbacks.hostSuspend) callbacks.hostSuspend(this);
}

void CVeST::resume() {
    AudioEffectX::resume();
    if (callbacks.hostResume) callbacks.hostResume(this);
}

void CVeST::processReplacing(float** inputs, float** outputs, std::int32_t frames) {
    if (callbacks.processReplacing) callbacks.processReplacing(this, inputs, outputs, frames);
}

void CVeST::processDoubleReplacing(double** inputs, double** outputs, std::int32_t frames) {
    if (callbacks.processDoubleReplacing) callbacks.processDoubleReplacing(this, inputs, outputs, frames);
}

void CVeST::setParameter(std::int32_t index, float value) {
    if (callbacks.setParameter) callbacks.setParameter(this, index, static_cast<double>(value));
}

float CVeST::getParameter(std::int32_t index) {
    return callbacks.getParameter ? static_cast<float>(callbacks.getParameter(this, index)) : 0.0f;
}

void CVeST::setProgramName(char* name) {
    if (callbacks.setProgramName && name) callbacks.setProgramName(this, name);
}

void CVeST::getProgramName(char* name) {
    if (callbacks.getProgramName && name) callbacks.getProgramName(this, name);
}

void CVeST::getParameterLabel(std::int32_t index, char* label) {
    if (callbacks.getParameterLabel && label) callbacks.getParameterLabel(this, index, label);
}

void CVeST::getParameterDisplay(std::int32_t index, char* text) {
    if (callbacks.getParameterDisplay && text) callbacks.getParameterDisplay(this, index, text);
}

void CVeST::getParameterName(std::int32_t index, char* text) {
    if (callbacks.getParameterName && text) callbacks.getParameterName(this, index, text);
}

std::int32_t CVeST::getChunk(void** data, bool isPreset) {
    return callbacks.getChunk && data ? callbacks.getChunk(this, data, isPreset) : 0;
}

std::int32_t CVeST::setChunk(void* data, std::int32_t byteSize, bool isPreset) {
    return callbacks.setChunk ? callbacks.setChunk(this, data, byteSize, isPreset) : 0;
}

bool CVeST::getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) {
    return callbacks.getProgramNameIndexed ? callbacks.getProgramNameIndexed(this, category, index, text) : false;
}

std::int32_t CVeST::processEvents(VstEvents* events) {
    if (events == nullptr || !midiRing) return 1;
    // The list is longer than its declared two entries; index through a
    // pointer, not the array member.
    VstEvent* const* list = events->events;
    for (std::int32_t i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        std::memcpy(&midiRing[static_cast<std::size_t>(midiWriteIndex)], event, sizeof(VstMidiEvent));
        midiWriteIndex = midiWriteIndex + 1 == kMidiRingSize ? 0 : midiWriteIndex + 1;
    }
    return 1;
}

bool CVeST::getEffectName(char* name) {
    return callbacks.getEffectName && name ? callbacks.getEffectName(this, name) : false;
}

bool CVeST::getVendorString(char* text) {
    return callbacks.getVendorString && text ? callbacks.getVendorString(this, text) : false;
}

bool CVeST::getProductString(char* text) {
    return callbacks.getProductString && text ? callbacks.getProductString(this, text) : false;
}

std::int32_t CVeST::getVendorVersion() { return callbacks.getVendorVersion ? callbacks.getVendorVersion(this) : 0; }

std::int32_t CVeST::canDo(const char* text) {
    // Only an exact match counts; strcmp stops at the host's terminator, so a
    // short text is never read past its end.
    return text && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : -1;
}

bool CVeST::redrawEditor() { return editor && editor->invalidate(); }

void CVeST::runEditorIdle() {
    if (callbacks.editorIdle) callbacks.editorIdle(this);
}

bool CVeST::readMidiEvent(VstMidiEvent* event) {
    if (!midiRing || event == nullptr || midiReadIndex == midiWriteIndex) return false;
    *event = midiRing[static_cast<std::size_t>(midiReadIndex)];
    midiReadIndex = midiReadIndex + 1 == kMidiRingSize ? 0 : midiReadIndex + 1;
    return true;
}

bool CVeST::sendEventToHost(VstEvent* event) {
    struct {
        std::int32_t numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } list{1, 0, {event, nullptr}};
    return sendVstEventsToHost(reinterpret_cast<VstEvents*>(&list));
}
