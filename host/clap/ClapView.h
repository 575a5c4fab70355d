// The CLAP face's editor: the gui extension over the effect's own editor,
// embedded in the host's window (x11 on Linux, win32 on Windows). On Linux
// the host's loop runs it (a host timer, and the editor's X connection
// through the host's descriptor support); on Windows a window timer on the
// editor's window runs in the host's message loop.
#pragma once

#include <cstdint>

#include "host/clap/ClapAbi.h"

namespace clapface {

class Plugin;

// Editor idles per second driven from the host's timer or a window timer.
inline constexpr std::uint32_t kEditorTimerMs = 20;

class View {
public:
    explicit View(Plugin& plugin) : plugin(plugin) {}
    // Also when a host destroys the instance with its editor still made.
    ~View() { destroy(); }
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
    static bool setSize(const clap_plugin_t* p, std::uint32_t width, std::uint32_t height);
    static bool setParent(const clap_plugin_t* p, const clap_window_t* window);
    static void onTimer(const clap_plugin_t* p, clap_id id);
    static void onFd(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t flags);

    void destroy();
    void close();

public:
    // One editor idle: from the host's timer, the X connection or a window timer.
    void idle();

private:
    // Asks the host for the editor's new size once it changed.
    void followSize();
    std::uint32_t width() const;
    std::uint32_t height() const;

    Plugin& plugin;
    bool created = false, open = false;
    std::uint32_t shownWidth = 0, shownHeight = 0;  // the size the host was last told
    clap_id timerId = CLAP_INVALID_ID;
    int watchedFd = -1;
};

}  // namespace clapface
