#include "editor/CVeSTEditor.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "editor/CVeSTView.h"
#include "editor/EditorWindow.h"
#include "host/CVeST.h"
#include "runtime/platform/Platform.h"

namespace {
std::atomic<std::int32_t> gKnobMode{0};  // one value per process, as the toolkit keeps it

std::uint32_t tickMs() { return static_cast<std::uint32_t>(platform::frameClockMs()); }

// a - b on a wrapping millisecond counter.
std::int32_t ticksBetween(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }
}  // namespace

CVeSTEditor::CVeSTEditor(CVeST* adapter, std::int32_t width, std::int32_t height)
    : AEffEditor(adapter), width(width), height(height), adapter(adapter), lastTicks(tickMs()) {
    rectangle.top = 0;
    rectangle.left = 0;
    rectangle.bottom = static_cast<std::int16_t>(height);
    rectangle.right = static_cast<std::int16_t>(width);
}

CVeSTEditor::~CVeSTEditor() { close(); }

bool CVeSTEditor::getRect(vst2::ERect** rect) {
    if (rect == nullptr) return false;
    *rect = &rectangle;
    return true;
}

bool CVeSTEditor::open(void* parentWindow) {
    // Hosts open twice without closing in between: the old window goes first.
    close();
    std::unique_ptr<EditorWindow> window = createEditorWindow();
    if (!window) return false;
    auto view = std::make_unique<CVeSTView>(adapter, width, height);
    if (!window->open(parentWindow, width, height, *view)) return false;
    frame = std::move(window);
    currentView = std::move(view);
    return true;
}

void CVeSTEditor::close() {
    // The window refers to the view until it is closed.
    if (frame) frame->close();
    frame.reset();
    currentView.reset();
}

bool CVeSTEditor::isOpen() { return frame && frame->isOpen(); }

std::uintptr_t CVeSTEditor::nativeWindow() const { return frame ? frame->nativeWindow() : 0; }

int CVeSTEditor::eventDescriptor() const { return frame && frame->isOpen() ? frame->eventDescriptor() : -1; }

void CVeSTEditor::idle() {
    if (!frame || !currentView) return;  // hosts idle before the first open and after close
    if (adapter) adapter->runEditorIdle();
    // The idle entry is effect code; should it close the editor, no frame is left.
    if (frame && !inIdle) frame->idle();
}

bool CVeSTEditor::onKeyDown(vst2::VstKeyCode& key) { return frame && currentView && currentView->onKeyDown(key); }

bool CVeSTEditor::onKeyUp(vst2::VstKeyCode& key) { return frame && currentView && currentView->onKeyUp(key); }

bool CVeSTEditor::setKnobMode(std::int32_t mode) {
    gKnobMode = mode;
    return true;
}

std::int32_t CVeSTEditor::knobMode() { return gKnobMode; }

bool CVeSTEditor::invalidate() {
    if (!frame) return false;
    frame->invalidate();
    return true;
}

void CVeSTEditor::doIdleStuff() {
    std::uint32_t t = tickMs();
    if (ticksBetween(t, lastTicks) < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        t += 4;
        if (ticksBetween(t, lastTicks - 50) < 0) return;
    }
    idle();
    lastTicks = t + 100;
    inIdle = true;
    if (adapter) adapter->masterIdle();
    inIdle = false;
}

bool CVeSTEditor::beginEdit(std::int32_t index) { return adapter && adapter->beginEdit(index); }

bool CVeSTEditor::endEdit(std::int32_t index) { return adapter && adapter->endEdit(index); }
