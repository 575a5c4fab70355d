#include "host/clap/ClapView.h"

#include <cmath>
#include <cstring>

#include "host/clap/ClapPlugin.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace clapface {

namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
constexpr const char* kWindowProperty = "TonarvoClapPlugin";
constexpr UINT_PTR kTimerEvent = 0x70C1A9;
void CALLBACK windowTimer(HWND window, UINT, UINT_PTR, DWORD) {
    if (auto* view = static_cast<View*>(GetPropA(window, kWindowProperty))) view->idle();
}
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

// The editor's fixed size when the editor cannot say (it always can).
constexpr std::uint32_t kEditorWidth = 681, kEditorHeight = 371;

}  // namespace

const clap_plugin_gui_t* View::guiExtension() {
    static const clap_plugin_gui_t gui{&apiSupported,
                                       &preferredApi,
                                       &create,
                                       &destroyGui,
                                       &setScale,
                                       &size,
                                       [](const clap_plugin_t*) { return false; },
                                       [](const clap_plugin_t*, clap_gui_resize_hints_t*) { return false; },
                                       [](const clap_plugin_t*, std::uint32_t*, std::uint32_t*) { return false; },
                                       &setSize,
                                       &setParent,
                                       [](const clap_plugin_t*, const clap_window_t*) { return false; },
                                       [](const clap_plugin_t*, const char*) {},
                                       [](const clap_plugin_t* q) { return of(q) != nullptr; },
                                       [](const clap_plugin_t* q) { return of(q) != nullptr; }};
    return &gui;
}

#if !defined(_WIN32)
const clap_plugin_timer_support_t* View::timerExtension() {
    static const clap_plugin_timer_support_t timers{&onTimer};
    return &timers;
}

const clap_plugin_posix_fd_support_t* View::fdExtension() {
    static const clap_plugin_posix_fd_support_t fds{&onFd};
    return &fds;
}
#endif

View* View::of(const clap_plugin_t* p) {
    Plugin* plugin = Plugin::ready(p);
    return plugin ? plugin->view() : nullptr;
}

bool View::apiSupported(const clap_plugin_t*, const char* api, bool floating) {
    return !floating && api && std::strcmp(api, kWindowApi) == 0;
}

bool View::preferredApi(const clap_plugin_t*, const char** api, bool* floating) {
    if (!api || !floating) return false;
    *api = kWindowApi;
    *floating = false;
    return true;
}

bool View::create(const clap_plugin_t* p, const char* api, bool floating) {
    View* self = of(p);
    if (!self || !apiSupported(p, api, floating) || self->created) return false;
#if !defined(_WIN32)
    // Nothing else would run the editor's idle on Linux, and no thread of
    // ours may touch the effect: without the host's timers the editor is not
    // offered, and the host shows its own controls.
    const clap_host_timer_support_t* timers = self->plugin.hostTimers();
    if (!timers || !timers->register_timer || !timers->unregister_timer) {
        self->plugin.log(CLAP_LOG_WARNING, "no clap.timer-support from the host: the editor cannot run");
        return false;
    }
    if (!timers->register_timer(self->plugin.hostObject(), kEditorTimerMs, &self->timerId)) {
        self->timerId = CLAP_INVALID_ID;
        return false;
    }
#endif
    self->created = true;
    return true;
}

void View::destroyGui(const clap_plugin_t* p) {
    if (View* self = of(p)) self->destroy();
}

void View::destroy() {
    if (!created) return;
    close();
#if !defined(_WIN32)
    if (timerId != CLAP_INVALID_ID) plugin.hostTimers()->unregister_timer(plugin.hostObject(), timerId);
    timerId = CLAP_INVALID_ID;
#endif
    created = false;
}

bool View::size(const clap_plugin_t* p, std::uint32_t* w, std::uint32_t* h) {
    View* self = of(p);
    if (!self || !w || !h) return false;
    *w = self->width();
    *h = self->height();
    return true;
}

bool View::setSize(const clap_plugin_t* p, std::uint32_t w, std::uint32_t h) {
    View* self = of(p);
    return self && w == self->width() && h == self->height();
}

bool View::setParent(const clap_plugin_t* p, const clap_window_t* window) {
    View* self = of(p);
    if (!self || !self->created || !window || !apiSupported(p, window->api, false)) return false;
    self->close();
    wrap::WrappedEffect& effect = self->plugin.effect();
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (!parent || !effect.openEditor(parent)) return false;
    self->open = true;
#if defined(_WIN32)
    // The host's message loop runs the editor: a timer on its window.
    const HWND editor = reinterpret_cast<HWND>(effect.editorWindow());
    SetPropA(editor, kWindowProperty, self);
    SetTimer(editor, kTimerEvent, kEditorTimerMs, &windowTimer);
#else
    // The X connection's events wake the host's loop at once; the timer
    // paces the frames and pumps when the host has no fd support.
    const clap_host_posix_fd_support_t* fds = self->plugin.hostFds();
    const int fd = effect.editorEventDescriptor();
    if (fd >= 0 && fds && fds->register_fd && fds->unregister_fd &&
        fds->register_fd(self->plugin.hostObject(), fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR))
        self->watchedFd = fd;
#endif
    self->shownWidth = self->width();
    self->shownHeight = self->height();
    // The first frame is in the parent when this returns.
    self->idle();
    return true;
}

// x11 and win32 count physical pixels: the host's scale replaces the
// screen's (it never multiplies it); the user's setting still wins.
bool View::setScale(const clap_plugin_t* p, double scale) {
    View* self = of(p);
    if (!self || !std::isfinite(scale) || scale <= 0) return false;
    self->plugin.effect().setEditorScale(scale);
    self->followSize();
    return true;
}

void View::followSize() {
    if (!open) return;  // the host asks get_size before set_parent
    const std::uint32_t w = width(), h = height();
    if (w == shownWidth && h == shownHeight) return;
    shownWidth = w;
    shownHeight = h;
    const clap_host_gui_t* gui = plugin.hostGui();
    if (gui && gui->request_resize) gui->request_resize(plugin.hostObject(), w, h);
}

void View::close() {
    if (!open) return;
    plugin.finishEdits();
    wrap::WrappedEffect& effect = plugin.effect();
#if defined(_WIN32)
    const HWND editor = reinterpret_cast<HWND>(effect.editorWindow());
    if (editor) {
        KillTimer(editor, kTimerEvent);
        RemovePropA(editor, kWindowProperty);
    }
#else
    if (watchedFd >= 0) plugin.hostFds()->unregister_fd(plugin.hostObject(), watchedFd);
    watchedFd = -1;
#endif
    effect.closeEditor();
    open = false;
}

void View::idle() {
    if (!open) return;
    plugin.idleEdits();
    followSize();  // a move to another screen may have rescaled the editor
}

std::uint32_t View::width() const {
    const std::int32_t w = plugin.effect().editorWidth();
    return w > 0 ? static_cast<std::uint32_t>(w) : kEditorWidth;
}

std::uint32_t View::height() const {
    const std::int32_t h = plugin.effect().editorHeight();
    return h > 0 ? static_cast<std::uint32_t>(h) : kEditorHeight;
}

void View::onTimer(const clap_plugin_t* p, clap_id id) {
    View* self = of(p);
    if (self && id == self->timerId) self->idle();
}

void View::onFd(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t) {
    View* self = of(p);
    if (self && fd == self->watchedFd) self->idle();
}

}  // namespace clapface
