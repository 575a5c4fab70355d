// A host's top-level window for the plug-in's editor, made and driven on the
// thread that creates it: X11 on Linux (run under Xvfb), Win32 on Windows.
// The pointer is driven like a hand's: moves, presses, drags and releases
// reach the editor's own window through the window system.
#pragma once

#include <memory>
#include <string>

namespace stress {

class HostWindow {
public:
    // Null, with the reason, when there is no display to open a window on.
    static std::unique_ptr<HostWindow> create(int width, int height, std::string& reason);

    virtual ~HostWindow() = default;
    // What effEditOpen takes: the X window id or the HWND.
    virtual void* parent() = 0;
    // Handles the window's pending events or messages without waiting.
    virtual void pump() = 0;
    // Moves the pointer to (x, y) in the window, pressing or releasing the
    // left button on the way when that changes.
    virtual void pointer(int x, int y, bool pressed) = 0;
    // Windows the plug-in made inside ours.
    virtual int children() = 0;
};

}  // namespace stress
