// The editor's view: the effect's editor as a child of the host's window,
// at the size the host's content scale (or the user's setting, or the
// screen) gives it; the user does not resize it. VST 3 has no idle call: on Linux the host's run loop (reached
// through the view's frame) calls a timer and watches the editor's X
// connection; on Windows the host's message loop runs a window timer. Both
// run the editor idle on the host's UI thread, and its slider changes go to
// the host as edits.
#include <atomic>
#include <cstring>
#include <new>

#include "host/vst3/Vst3Plugin.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vst3face {

using namespace vst3;

namespace {

// About 33 frames a second, what the editor's animation is paced for.
constexpr TimerInterval kIdleMilliseconds = 30;
constexpr int32 kFallbackWidth = 681;
constexpr int32 kFallbackHeight = 371;

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
constexpr const char* kViewProperty = "TonarvoVst3View";
constexpr UINT_PTR kIdleTimer = 0x70A3;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

class View final : public IPlugView,
                   public IPlugViewContentScaleSupport,
                   public Linux::ITimerHandler,
                   public Linux::IEventHandler {
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
#if defined(_WIN32)
        if (!component.openEditor(this, parent)) return kResultFalse;
        const auto window = reinterpret_cast<HWND>(component.wrapped().editorWindow());
        // The timer runs the idle from the host's message loop; without it
        // the editor would take no clicks.
        if (window == nullptr || !SetPropA(window, kViewProperty, this) ||
            SetTimer(window, kIdleTimer, static_cast<UINT>(kIdleMilliseconds), &View::timerProc) == 0) {
            if (window) RemovePropA(window, kViewProperty);
            component.closeEditor(this);
            return kResultFalse;
        }
        editorWindow = window;
#else
        // Without the host's run loop nothing would ever draw the editor or
        // take its clicks, and no thread of ours may: the host shows its own
        // controls instead.
        loop = hostRunLoop();
        if (loop == nullptr) return kResultFalse;
        if (!component.openEditor(this, parent)) {
            releaseLoop();
            return kResultFalse;
        }
        if (loop->registerTimer(static_cast<Linux::ITimerHandler*>(this), kIdleMilliseconds) != kResultOk) {
            component.closeEditor(this);
            releaseLoop();
            return kResultFalse;
        }
        const int fd = component.wrapped().editorEventDescriptor();
        if (fd >= 0) watching = loop->registerEventHandler(static_cast<Linux::IEventHandler*>(this), fd) == kResultOk;
#endif
        isAttached = true;
        shownWidth = width();
        shownHeight = height();
        return kResultOk;
    }

    tresult VST3_CALL removed() override {
        if (!isAttached) return kResultFalse;
        isAttached = false;
#if defined(_WIN32)
        if (editorWindow && IsWindow(editorWindow)) {
            KillTimer(editorWindow, kIdleTimer);
            RemovePropA(editorWindow, kViewProperty);
        }
        editorWindow = nullptr;
#else
        if (loop) {
            loop->unregisterTimer(static_cast<Linux::ITimerHandler*>(this));
            if (watching) loop->unregisterEventHandler(static_cast<Linux::IEventHandler*>(this));
        }
        watching = false;
        releaseLoop();
#endif
        component.closeEditor(this);
        return kResultOk;
    }

    // Keys reach the editor's own window; the host keeps what it is sent.
    tresult VST3_CALL onWheel(float) override { return kResultFalse; }
    tresult VST3_CALL onKeyDown(char16, int16, int16) override { return kResultFalse; }
    tresult VST3_CALL onKeyUp(char16, int16, int16) override { return kResultFalse; }

    tresult VST3_CALL getSize(ViewRect* size) override {
        if (size == nullptr) return kInvalidArgument;
        *size = ViewRect{0, 0, width(), height()};
        return kResultOk;
    }
    tresult VST3_CALL onSize(ViewRect* newSize) override { return newSize ? kResultOk : kInvalidArgument; }
    tresult VST3_CALL onFocus(TBool) override { return kResultOk; }

    tresult VST3_CALL setFrame(IPlugFrame* next) override {
        if (next) next->addRef();
        if (frame) frame->release();
        frame = next;
        return kResultOk;
    }

    tresult VST3_CALL canResize() override { return kResultFalse; }
    tresult VST3_CALL checkSizeConstraint(ViewRect* rect) override {
        if (rect == nullptr) return kInvalidArgument;
        rect->right = rect->left + width();
        rect->bottom = rect->top + height();
        return kResultTrue;
    }

    // The host's scale replaces the screen's, never multiplies it (hosts
    // that are DPI-aware and send a scale would otherwise get it twice).
    tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) override {
        component.wrapped().setEditorScale(static_cast<double>(factor));
        followSize();
        return kResultOk;
    }

    void VST3_CALL onTimer() override { idle(); }
    // The X connection has events: handle them now rather than at the next tick.
    void VST3_CALL onFDIsSet(FileDescriptor) override { idle(); }

private:
    void idle() {
        component.idleEditor(this);
        followSize();  // a move to another screen may have rescaled the editor
    }

    // Asks the host for the editor's new size once it changed.
    void followSize() {
        if (!isAttached) return;  // the host asks getSize before it attaches
        const int32 w = width(), h = height();
        if (w == shownWidth && h == shownHeight) return;
        shownWidth = w;
        shownHeight = h;
        ViewRect rect{0, 0, w, h};
        if (frame) frame->resizeView(static_cast<IPlugView*>(this), &rect);
    }

    ~View() {
        removed();
        if (frame) frame->release();
        component.release();
    }

    int32 width() const {
        const int32 w = component.wrapped().editorWidth();
        return w > 0 ? w : kFallbackWidth;
    }
    int32 height() const {
        const int32 h = component.wrapped().editorHeight();
        return h > 0 ? h : kFallbackHeight;
    }

#if defined(_WIN32)
    static void CALLBACK timerProc(HWND window, UINT, UINT_PTR, DWORD) {
        if (auto* self = static_cast<View*>(GetPropA(window, kViewProperty))) self->idle();
    }
    HWND editorWindow = nullptr;
#else
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
    Linux::IRunLoop* loop = nullptr;
    bool watching = false;
#endif

    std::atomic<uint32> references{1};
    Plugin& component;
    IPlugFrame* frame = nullptr;
    bool isAttached = false;
    int32 shownWidth = 0, shownHeight = 0;  // the size the host was last told
};

}  // namespace

IPlugView* createEditorView(Plugin& component) { return new (std::nothrow) View(component); }

}  // namespace vst3face
