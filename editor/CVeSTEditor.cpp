#include "editor/CVeSTEditor.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "editor/CVeSTView.h"
#include "editor/EditorScale.h"
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
    // Hosts size their window from this before opening: the scale the open
    // will take, as far as it can be known without the window.
    size(true);
    *rect = &rectangle;
    return true;
}

editor_scale::Size CVeSTEditor::size(bool lookAtScreen) {
    if (!isOpen() && !closedMeasured) measureClosed(lookAtScreen);
    return {rectangle.right, rectangle.bottom};
}

void CVeSTEditor::measureClosed(bool lookAtScreen) {
    closedMeasured = true;
    userScale = editor_scale::userScale();
    closedScreen = 0.0;
    // The screen decides only when the user has not.
    if (userScale == 0 && chosenScale == 0) {
        if (std::unique_ptr<EditorWindow> probe = createEditorWindow())
            closedScreen = lookAtScreen ? probe->screenScale(nullptr) : probe->rememberedScreenScale();
    }
    rescale(closedScreen);
}

bool CVeSTEditor::rescale(double screen) {
    const std::int16_t oldRight = rectangle.right, oldBottom = rectangle.bottom;
    current = editor_scale::choose(chosenScale > 0 ? chosenScale : userScale, hostScale, screen);
    rectangle.right = static_cast<std::int16_t>(editor_scale::scaled(width, current));
    rectangle.bottom = static_cast<std::int16_t>(editor_scale::scaled(height, current));
    if (frame) frame->setScale(current);
    return rectangle.right != oldRight || rectangle.bottom != oldBottom;
}

bool CVeSTEditor::setScale(double scale) {
    hostScale = editor_scale::usable(scale);
    if (frame)
        rescale(frame->screenScale(nullptr));
    else if (closedMeasured)
        rescale(closedScreen);
    else
        measureClosed(false);
    return hostScale > 0 && current == hostScale;
}

editor_scale::Size CVeSTEditor::fit(double w, double h) const { return editor_scale::fit(width, height, w, h); }

bool CVeSTEditor::resizeTo(double w, double h) {
    const editor_scale::Size fitted = fit(w, h);
    if (fitted == size()) return false;
    chosenScale = static_cast<double>(fitted.width) / width;
    choiceUnsaved = true;
    choiceTicks = tickMs();
    rescale(frame ? frame->screenScale(nullptr) : closedScreen);
    return true;
}

void CVeSTEditor::saveChoice() {
    if (!choiceUnsaved) return;
    choiceUnsaved = false;
    editor_scale::saveUserScale(chosenScale);
}

void CVeSTEditor::setFrameObserver(FrameObserver* next) {
    observer = next;
    if (currentView) currentView->observer = next;
}

bool CVeSTEditor::open(void* parentWindow) {
    // Hosts open twice without closing in between: the old window goes first.
    close();
    std::unique_ptr<EditorWindow> window = createEditorWindow();
    if (!window) return false;
    const std::int16_t reportedRight = rectangle.right, reportedBottom = rectangle.bottom;
    userScale = editor_scale::userScale();
    rescale(window->screenScale(parentWindow));
    window->setScale(current);
    auto view = std::make_unique<CVeSTView>(adapter, width, height);
    view->observer = observer;
    if (!window->open(parentWindow, width, height, *view)) return false;
    frame = std::move(window);
    currentView = std::move(view);
    // The screen under the parent may want another scale than the one
    // getRect could guess: the host sized its window for the old one.
    if (adapter && (rectangle.right != reportedRight || rectangle.bottom != reportedBottom))
        adapter->sizeWindow(rectangle.right, rectangle.bottom);
    return true;
}

void CVeSTEditor::close() {
    // The window refers to the view until it is closed.
    if (frame) frame->close();
    frame.reset();
    currentView.reset();
    saveChoice();
    // The next size asked for while closed is measured again: the user may
    // have changed the setting, and another screen may be where it opens.
    closedMeasured = false;
}

bool CVeSTEditor::isOpen() { return frame && frame->isOpen(); }

std::uintptr_t CVeSTEditor::nativeWindow() const { return frame ? frame->nativeWindow() : 0; }

int CVeSTEditor::eventDescriptor() const { return frame && frame->isOpen() ? frame->eventDescriptor() : -1; }

void CVeSTEditor::idle() {
    if (!frame || !currentView) return;  // hosts idle before the first open and after close
    if (adapter) adapter->runEditorIdle();
    // The idle entry is effect code; should it close the editor, no frame is left.
    if (frame && !inIdle) {
        frame->idle();
        // The window moved to a screen of another density (or the desktop's
        // setting changed): only the screen's scale can have changed here.
        if (frame && chosenScale == 0 && userScale == 0 && hostScale == 0 && rescale(frame->screenScale(nullptr)) &&
            adapter)
            adapter->sizeWindow(rectangle.right, rectangle.bottom);
    }
    // A drag sends many sizes; the file is written once the last has rested.
    if (choiceUnsaved && ticksBetween(tickMs(), choiceTicks) >= 500) saveChoice();
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
