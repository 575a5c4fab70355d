// The CLAP face's editor: the gui extension over the effect's own editor
// (wrap::EditorHost), embedded in the host's window (x11 on Linux, win32 on
// Windows), in CLAP's words. On Linux the host's timer and descriptor
// support run it; sizes and scales cross as get_size, the resize hints,
// adjust_size, set_size, set_scale and request_resize.
#pragma once

#include <cstdint>

#include "host/clap/ClapAbi.h"
#include "host/wrap/EditorHost.h"

namespace clapface {

class Plugin;

class View final : private wrap::EditorHost::Face {
public:
    explicit View(Plugin& plugin) : plugin(plugin) {}
    // Also when a host destroys the instance with its editor still made:
    // nothing is reported then.
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    static const clap_plugin_gui_t* guiExtension();
#if !defined(_WIN32)
    static const clap_plugin_timer_support_t* timerExtension();
    static const clap_plugin_posix_fd_support_t* fdExtension();
#endif

private:
    static View* of(const clap_plugin_t* p);
    static bool apiSupported(const clap_plugin_t*, const char* api, bool floating);
    static bool preferredApi(const clap_plugin_t*, const char** api, bool* floating);
    static bool create(const clap_plugin_t* p, const char* api, bool floating);
    static void destroyGui(const clap_plugin_t* p);
    static bool setScale(const clap_plugin_t* p, double scale);
    static bool size(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height);
    static bool resizeHints(const clap_plugin_t* p, clap_gui_resize_hints_t* hints);
    static bool adjustSize(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height);
    static bool setSize(const clap_plugin_t* p, std::uint32_t width, std::uint32_t height);
    static bool setParent(const clap_plugin_t* p, const clap_window_t* window);
    static bool show(const clap_plugin_t* p, bool shown);
    static void onTimer(const clap_plugin_t* p, clap_id id);
    static void onFd(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t flags);

    wrap::EditorHost& editor() const;

    // EditorHost::Face: the host's timer and descriptor support, its gui's
    // request_resize, and a flush asked for when edits were queued.
    bool startTimer(std::uint32_t milliseconds) override;
    void stopTimer() override;
    bool watchDescriptor(int fd) override;
    void unwatchDescriptor(int fd) override;
    bool requestSize(std::uint32_t width, std::uint32_t height) override;
    void editsReported() override;

    Plugin& plugin;
    bool created = false;
    clap_id timerId = CLAP_INVALID_ID;
    int watchedFd = -1;
};

}  // namespace clapface
