#include "runtime/RuntimeCallbacks.h"

#include <new>
#include <string>

#include "editor/CVeSTEditor.h"
#include "host/CVeST.h"
#include "host/HostText.h"
#include "runtime/TPlexa.h"

namespace plexa {

namespace {

constexpr std::int32_t kEditorWidth = 681;
constexpr std::int32_t kEditorHeight = 371;

TPlexa* effectOf(CVeST* adapter) { return adapter ? adapter->effect : nullptr; }

void adapterCreated(CVeST* adapter) {
    TPlexa* effect = effectOf(adapter);
    if (!effect) return;
    adapter->setNumInputs(effect->channelCount);
    adapter->setNumOutputs(effect->channelCount);
    adapter->setUniqueID(effect->uniqueId);
    if (adapter->getEditor() == nullptr) adapter->setEditor(new CVeSTEditor(adapter, kEditorWidth, kEditorHeight));
    adapter->programsAreChunks();
}

void adapterDestroyed(CVeST* adapter) {
    delete effectOf(adapter);  // virtual destructor from TPlexa on
}

void hostOpen(CVeST* adapter) {
    if (TPlexa* effect = effectOf(adapter)) effect->onOpen();
}
void hostSuspend(CVeST* adapter) {
    if (TPlexa* effect = effectOf(adapter)) effect->switchOff();
}
void hostResume(CVeST* adapter) {
    if (TPlexa* effect = effectOf(adapter)) effect->switchOn();
}
void editorIdle(CVeST* adapter) {
    if (TPlexa* effect = effectOf(adapter)) effect->frameTick();
}
void hostClose(CVeST* adapter) {
    if (TPlexa* effect = effectOf(adapter)) effect->onClose();
}
void editorPaint(CVeST* adapter, double, double) {
    if (TPlexa* effect = effectOf(adapter)) effect->gfxSection();
}
void mouseDown(CVeST* adapter, double x, double y, std::int32_t buttons) {
    if (TPlexa* effect = effectOf(adapter)) effect->mouseDown(x, y, buttons);
}
void mouseUp(CVeST* adapter, double x, double y, std::int32_t) {
    if (TPlexa* effect = effectOf(adapter)) effect->mouseUp(x, y);
}
void mouseMoved(CVeST* adapter, double x, double y, std::int32_t) {
    if (TPlexa* effect = effectOf(adapter)) effect->mouseMoved(x, y);
}

std::int32_t getVendorVersion(CVeST* adapter) {
    TPlexa* effect = effectOf(adapter);
    return effect ? effect->vendorVersion : 0;
}
bool getVendorString(CVeST* adapter, char* text) {
    TPlexa* effect = effectOf(adapter);
    if (!effect) return false;
    vsthost::copyToHostBuffer(text, effect->vendorString);
    return true;
}
bool getProductString(CVeST* adapter, char* text) {
    TPlexa* effect = effectOf(adapter);
    if (!effect) return false;
    vsthost::copyToHostBuffer(text, effect->productString);
    return true;
}
bool getEffectName(CVeST* adapter, char* text) {
    TPlexa* effect = effectOf(adapter);
    if (!effect) return false;
    vsthost::copyToHostBuffer(text, effect->effectName);
    return true;
}
void getProgramName(CVeST* adapter, char* text) {
    if (TPlexa* effect = effectOf(adapter)) vsthost::copyToHostBuffer(text, effect->programName);
}
void setProgramName(CVeST* adapter, const char* text) {
    TPlexa* effect = effectOf(adapter);
    if (!effect || !text) return;
    try {
        effect->programName = text;
    } catch (const std::bad_alloc&) {
        // keep the old name
    }
}
bool getProgramNameIndexed(CVeST*, std::int32_t, std::int32_t, char*) { return false; }

double getParameter(CVeST* adapter, std::int32_t index) {
    TPlexa* effect = effectOf(adapter);
    return effect ? effect->normalizedValue(index) : 0.0;
}
void setParameter(CVeST* adapter, std::int32_t index, double value) {
    if (TPlexa* effect = effectOf(adapter)) effect->setNormalizedValue(index, value);
}
void getParameterName(CVeST* adapter, std::int32_t index, char* text) {
    if (TPlexa* effect = effectOf(adapter)) vsthost::copyToHostBuffer(text, effect->sliderName(index));
}
void getParameterLabel(CVeST* adapter, std::int32_t index, char* text) {
    if (TPlexa* effect = effectOf(adapter)) vsthost::copyToHostBuffer(text, effect->sliderLabel(index));
}
void getParameterDisplay(CVeST* adapter, std::int32_t index, char* text) {
    if (TPlexa* effect = effectOf(adapter)) vsthost::copyToHostBuffer(text, effect->displayText(index));
}

void processReplacing(CVeST* adapter, float** inputs, float** outputs, std::int32_t frames) {
    if (TPlexa* effect = effectOf(adapter)) effect->processReplacing(inputs, outputs, frames);
}
void processDoubleReplacing(CVeST* adapter, double** inputs, double** outputs, std::int32_t frames) {
    if (TPlexa* effect = effectOf(adapter)) effect->processDoubleReplacing(inputs, outputs, frames);
}

// State calls allocate (the stream grows); running out of memory there must
// not unwind into the host, so it answers "no chunk" instead.
std::int32_t getChunk(CVeST* adapter, void** data, bool) {
    TPlexa* effect = effectOf(adapter);
    if (!effect) return 0;
    try {
        return effect->writeStateChunk(data);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
std::int32_t setChunk(CVeST* adapter, void* data, std::int32_t byteSize, bool) {
    TPlexa* effect = effectOf(adapter);
    if (!effect || byteSize < 0) return 0;
    try {
        return effect->readStateChunk(data, byteSize);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace

CVeSTCallbacks runtimeCallbacks() {
    CVeSTCallbacks table;
    table.adapterCreated = &adapterCreated;
    table.adapterDestroyed = &adapterDestroyed;
    table.hostOpen = &hostOpen;
    table.hostSuspend = &hostSuspend;
    table.hostResume = &hostResume;
    table.editorIdle = &editorIdle;
    table.hostClose = &hostClose;
    table.editorPaint = &editorPaint;
    table.mouseDown = &mouseDown;
    table.mouseUp = &mouseUp;
    table.mouseMoved = &mouseMoved;
    table.getVendorVersion = &getVendorVersion;
    table.getVendorString = &getVendorString;
    table.getProductString = &getProductString;
    table.getEffectName = &getEffectName;
    table.getProgramName = &getProgramName;
    table.setProgramName = &setProgramName;
    table.getProgramNameIndexed = &getProgramNameIndexed;
    table.getParameter = &getParameter;
    table.setParameter = &setParameter;
    table.getParameterName = &getParameterName;
    table.getParameterLabel = &getParameterLabel;
    table.getParameterDisplay = &getParameterDisplay;
    table.processReplacing = &processReplacing;
    table.processDoubleReplacing = &processDoubleReplacing;
    table.getChunk = &getChunk;
    table.setChunk = &setChunk;
    return table;
}

}  // namespace plexa
