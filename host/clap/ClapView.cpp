#include "host/clap/ClapView.h"

#include <cstring>

#include "host/clap/ClapPlugin.h"

namespace clapface {

namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

}  // namespace

const clap_plugin_gui_t* View::guiExtension() {
    static const clap_plugin_gui_t gui{&apiSupported,
                                       &preferredApi,
                                       &create,
                                       &destroyGui,
                                       &setScale,
                                       &size,
                                       [](const clap_plugin_t* q) { return of(q) != nullptr; },
                                       &resizeHints,
                                       &adjustSize,
                                       &setSize,
                                       &setParent,
                                       [](const clap_plugin_t*, const clap_window_t*) { return false; },
                                       [](const clap_plugin_t*, const char*) {},
                                       [](const clap_plugin_t* q) { return show(q, true); },
                                       [](const clap_plugin_t* q) { return show(q, false); }};
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

View::~View() { editor().close(*this, false); }

View* View::of(const clap_plugin_t* p) {
    Plugin* plugin = Plugin::ready(p);
    return plugin ? plugin->view() : nullptr;
}

wrap::EditorHost& View::editor() const { return plugin.effect().editor(); }

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
#endif
    self->created = true;
    return true;
}

void View::destroyGui(const clap_plugin_t* p) {
    View* self = of(p);
    if (!self) return;
    self->editor().close(*self);
    self->created = false;
}

bool View::size(const clap_plugin_t* p, std::uint32_t* w, std::uint32_t* h) {
    View* self = of(p);
    if (!self || !w || !h) return false;
    const editor_scale::Size s = self->editor().size(*self);
    *w = static_cast<std::uint32_t>(s.width);
    *h = static_cast<std::uint32_t>(s.height);
    return true;
}

bool View::resizeHints(const clap_plugin_t* p, clap_gui_resize_hints_t* hints) {
    View* self = of(p);
    if (!self || !hints) return false;
    const editor_scale::Size layout = self->editor().layout();
    *hints = {true, true, true, static_cast<std::uint32_t>(layout.width), static_cast<std::uint32_t>(layout.height)};
    return true;
}

bool View::adjustSize(const clap_plugin_t* p, std::uint32_t* w, std::uint32_t* h) {
    View* self = of(p);
    if (!self || !w || !h) return false;
    const editor_scale::Size fitted = self->editor().fit(*w, *h);
    *w = static_cast<std::uint32_t>(fitted.width);
    *h = static_cast<std::uint32_t>(fitted.height);
    return true;
}

bool View::setSize(const clap_plugin_t* p, std::uint32_t w, std::uint32_t h) {
    View* self = of(p);
    return self && self->editor().setSize(*self, w, h);
}

bool View::setParent(const clap_plugin_t* p, const clap_window_t* window) {
    View* self = of(p);
    if (!self || !self->created || !window || !apiSupported(p, window->api, false)) return false;
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (!self->editor().open(*self, self->plugin.editListener(), parent)) return false;
    // The first frame is in the parent when this returns.
    self->editor().idle(*self);
    return true;
}

// x11 and win32 count physical pixels: the host's scale replaces the
// screen's (it never multiplies it); the user's choice still wins.
bool View::setScale(const clap_plugin_t* p, double scale) {
    View* self = of(p);
    return self && self->editor().setScale(*self, scale);
}

bool View::show(const clap_plugin_t* p, bool shown) {
    View* self = of(p);
    return self && self->created && self->editor().show(*self, shown);
}

void View::onTimer(const clap_plugin_t* p, clap_id id) {
    View* self = of(p);
    if (self && id == self->timerId) self->editor().idle(*self);
}

void View::onFd(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t) {
    View* self = of(p);
    if (self && fd == self->watchedFd) self->editor().idle(*self);
}

bool View::startTimer(std::uint32_t milliseconds) {
    const clap_host_timer_support_t* timers = plugin.hostTimers();
    if (!timers || !timers->register_timer(plugin.hostObject(), milliseconds, &timerId)) {
        timerId = CLAP_INVALID_ID;
        return false;
    }
    return true;
}

void View::stopTimer() {
    if (timerId != CLAP_INVALID_ID) plugin.hostTimers()->unregister_timer(plugin.hostObject(), timerId);
    timerId = CLAP_INVALID_ID;
}

// The X connection's events wake the host's loop at once; the timer paces
// the frames and pumps when the host has no descriptor support.
bool View::watchDescriptor(int fd) {
    const clap_host_posix_fd_support_t* fds = plugin.hostFds();
    if (!fds || !fds->register_fd || !fds->unregister_fd ||
        !fds->register_fd(plugin.hostObject(), fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR))
        return false;
    watchedFd = fd;
    return true;
}

void View::unwatchDescriptor(int fd) {
    plugin.hostFds()->unregister_fd(plugin.hostObject(), fd);
    watchedFd = -1;
}

bool View::requestSize(std::uint32_t w, std::uint32_t h) {
    const clap_host_gui_t* gui = plugin.hostGui();
    return !gui || !gui->request_resize || gui->request_resize(plugin.hostObject(), w, h);
}

void View::editsReported() { plugin.requestFlush(); }

}  // namespace clapface
