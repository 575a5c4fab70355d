#include "editor/CVeSTEditor.h"

#include <atomic>

#include "host/CVeST.h"

namespace {
std::atomic<std::int32_t> gKnobMode{0};  // one value per process, as the toolkit keeps it
}

CVeSTEditor::CVeSTEditor(CVeST* adapter, std::int32_t width, std::int32_t height)
    : AEffEditor(adapter), width(width), height(height), adapter(adapter) {
    rectangle.top = 0;
    rectangle.left = 0;
    rectangle.bottom = static_cast<std::int16_t>(height);
    rectangle.right = static_cast<std::int16_t>(width);
}

CVeSTEditor::~CVeSTEditor() = default;

bool CVeSTEditor::getRect(vst2::ERect** rect) {
    if (rect == nullptr) return false;
    *rect = &rectangle;
    return true;
}

// No window backend yet: refuse to open, so hosts fall back to their generic
// parameter view instead of showing an empty frame.
bool CVeSTEditor::open(void*) { return false; }

void CVeSTEditor::close() { frameOpen = false; }

void CVeSTEditor::idle() {
    if (frameOpen && adapter) adapter->runEditorIdle();
}

bool CVeSTEditor::onKeyDown(vst2::VstKeyCode&) { return false; }
bool CVeSTEditor::onKeyUp(vst2::VstKeyCode&) { return false; }

bool CVeSTEditor::setKnobMode(std::int32_t mode) {
    gKnobMode = mode;
    return true;
}

std::int32_t CVeSTEditor::knobMode() { return gKnobMode; }

bool CVeSTEditor::invalidate() { return frameOpen; }
