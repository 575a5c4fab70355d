#include "editor/CVeSTView.h"

#include "host/CVeST.h"

namespace {
// The adapter's context must not outlive the paint, even when the frame
// section leaves early by an exception: primitives would then draw into a
// context that is gone.
class LentContext {
public:
    LentContext(CVeST* adapter, CDrawContext& context) : adapter(adapter) { adapter->drawContext = &context; }
    ~LentContext() { adapter->drawContext = nullptr; }
    LentContext(const LentContext&) = delete;
    LentContext& operator=(const LentContext&) = delete;

private:
    CVeST* adapter;
};
}  // namespace

CVeSTView::CVeSTView(CVeST* adapter, double width, double height) : adapter(adapter), right(width), bottom(height) {}

CVeSTView::~CVeSTView() = default;

void CVeSTView::draw(CDrawContext& context) {
    if (adapter == nullptr) return;
    LentContext lent(adapter, context);
    if (observer) observer->frameStarts();
    struct Ended {
        FrameObserver* observer;
        ~Ended() {
            if (observer) observer->frameEnded();
        }
    } ended{observer};
    if (adapter->callbacks.editorPaint) adapter->callbacks.editorPaint(adapter, right - left, bottom - top);
}

bool CVeSTView::onMouseDown(double x, double y, std::int32_t buttons) {
    if (adapter && adapter->callbacks.mouseDown) adapter->callbacks.mouseDown(adapter, x, y, buttons);
    return true;
}

bool CVeSTView::onMouseUp(double x, double y, std::int32_t buttons) {
    if (adapter && adapter->callbacks.mouseUp) adapter->callbacks.mouseUp(adapter, x, y, buttons);
    return true;
}

bool CVeSTView::onMouseMoved(double x, double y, std::int32_t buttons) {
    if (adapter && adapter->callbacks.mouseMoved) adapter->callbacks.mouseMoved(adapter, x, y, buttons);
    return true;
}

bool CVeSTView::onKeyDown(vst2::VstKeyCode& key) {
    if (adapter && adapter->callbacks.keyDown) adapter->callbacks.keyDown(adapter, key.character, key.modifier, key.virt);
    return true;
}

bool CVeSTView::onKeyUp(vst2::VstKeyCode& key) {
    if (adapter && adapter->callbacks.keyUp) adapter->callbacks.keyUp(adapter, key.character, key.modifier, key.virt);
    return true;
}
