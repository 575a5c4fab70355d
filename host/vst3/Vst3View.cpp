// The editor's view: the effect's editor (wrap::EditorHost) as a child of the
// host's window, in VST 3's words. The host's run loop (Linux, reached
// through the view's frame) is the editor's timer and watches its X
// connection; sizes and scales cross as view rectangles, content scales and
// resizeView.
#include <atomic>
#include <cstring>
#include <new>

#include "host/vst3/Vst3Plugin.h"

namespace vst3face {

using namespace vst3;

namespace {

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

class View final : public IPlugView,
                   public IPlugViewContentScaleSupport,
                   public Linux::ITimerHandler,
                   public Linux::IEventHandler,
                   private wrap::EditorHost::Face {
public:
    explicit View(Plugin& component) : component(component) { component.addRef(); }

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        void* found = nullptr;
        if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPlugView::iid))
            found = static_cast<IPlugView*>(this);
        else if (sameTuid(iid, IPlugViewContentScaleSupport::iid))
            found = static_cast<IPlugViewContentScaleSupport*>(this);
        else if (sameTuid(iid, Linux::ITimerHandler::iid))
            found = static_cast<Linux::ITimerHandler*>(this);
        else if (sameTuid(iid, Linux::IEventHandler::iid))
            found = static_cast<Linux::IEventHandler*>(this);
        *obj = found;
        if (found == nullptr) return kNoInterface;
        addRef();
        return kResultOk;
    }
    uint32 VST3_CALL addRef() override { return ++references; }
    uint32 VST3_CALL release() override {
        const uint32 left = --references;
        if (left == 0) delete this;
        return left;
    }

    tresult VST3_CALL isPlatformTypeSupported(FIDString type) override {
        return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
    }

    tresult VST3_CALL attached(void* parent, FIDString type) override {
        if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
        if (isAttached) removed();
#if !defined(_WIN32)
        // Without the host's run loop nothing would ever draw the editor or
        // take its clicks, and no thread of ours may: the host shows its own
        // controls instead.
        loop = hostRunLoop();
        if (loop == nullptr) return kResultFalse;
#endif
        if (!editor().open(*this, component.editListener(), parent)) {
            releaseLoop();
            return kResultFalse;
        }
        isAttached = true;
        return kResultOk;
    }

    tresult VST3_CALL removed() override {
        if (!isAttached) return kResultFalse;
        isAttached = false;
        editor().close(*this);
        releaseLoop();
        return kResultOk;
    }

    // Keys reach the editor's own window; the host keeps what it is sent.
    tresult VST3_CALL onWheel(float) override { return kResultFalse; }
    tresult VST3_CALL onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult VST3_CALL onKeyUp(char16, int16, int16) override { return kResultFalse; }

    tresult VST3_CALL getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        const editor_scale::Size s = editor().size(*this);
        *size = ViewRect{0, 0, s.width, s.height};
        return kResultOk;
    }
    // The user resized the host's window (checkSizeConstraint came first), or
    // the host answers a resizeView.
    tresult VST3_CALL onSize(ViewRect* newSize) override {
        if (newSize == nullptr) return kInvalidArgument;
        editor().setSize(*this, newSize->getWidth(), newSize->getHeight());
        return kResultOk;
    }
    tresult VST3_CALL onFocus(TBool) override { return kResultOk; }

    tresult VST3_CALL setFrame(IPlugFrame* next) override {
        if (next) next->addRef();
        if (frame) frame->release();
        frame = next;
        return kResultOk;
    }

    tresult VST3_CALL canResize() override { return kResultTrue; }
    tresult VST3_CALL checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr) return kInvalidArgument;
        const editor_scale::Size s = editor().fit(rect->getWidth(), rect->getHeight());
        rect->right = rect->left + s.width;
        rect->bottom = rect->top + s.height;
        return kResultTrue;
    }

    // The host's scale replaces the screen's, never multiplies it (hosts
    // that are DPI-aware and send a scale would otherwise get it twice).
    tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) override {
        return editor().setScale(*this, static_cast<double>(factor)) ? kResultTrue : kResultFalse;
    }

    void VST3_CALL onTimer() override { editor().idle(*this); }
    // The X connection has events: handle them now rather than at the next tick.
    void VST3_CALL onFDIsSet(FileDescriptor) override { editor().idle(*this); }

private:
    ~View() {
        removed();
        releaseLoop();
        if (frame) frame->release();
        component.release();
    }

    wrap::EditorHost& editor() { return component.wrapped().editor(); }

    // EditorHost::Face: the run loop and the frame.
    bool startTimer(std::uint32_t milliseconds) override {
        return loop && loop->registerTimer(static_cast<Linux::ITimerHandler*>(this), milliseconds) == kResultOk;
    }
    void stopTimer() override {
        if (loop) loop->unregisterTimer(static_cast<Linux::ITimerHandler*>(this));
    }
    bool watchDescriptor(int fd) override {
        return loop && loop->registerEventHandler(static_cast<Linux::IEventHandler*>(this), fd) == kResultOk;
    }
    void unwatchDescriptor(int) override {
        if (loop) loop->unregisterEventHandler(static_cast<Linux::IEventHandler*>(this));
    }
    bool requestSize(std::uint32_t width, std::uint32_t height) override {
        ViewRect rect{0, 0, static_cast<int32>(width), static_cast<int32>(height)};
        return frame == nullptr || frame->resizeView(static_cast<IPlugView*>(this), &rect) == kResultOk;
    }

    // The frame's run loop, else the one the factory was given; referenced.
    Linux::IRunLoop* hostRunLoop() {
        void* found = nullptr;
        if (frame && frame->queryInterface(Linux::IRunLoop::iid.data(), &found) == kResultOk && found)
            return static_cast<Linux::IRunLoop*>(found);
        if (Linux::IRunLoop* given = component.factoryRunLoop()) {
            given->addRef();
            return given;
        }
        return nullptr;
    }
    void releaseLoop() {
        if (loop) loop->release();
        loop = nullptr;
    }

    std::atomic<uint32> references{1};
    Plugin& component;
    IPlugFrame* frame = nullptr;
    Linux::IRunLoop* loop = nullptr;
    bool isAttached = false;
};

}  // namespace

IPlugView* createEditorView(Plugin& component) { return new (std::nothrow) View(component); }

}  // namespace vst3face
