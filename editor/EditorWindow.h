// The editor's window as the portable editor code sees it. Each platform
// supplies one implementation (X11 on Linux; Win32 later); the editor holds
// exactly one client, its view, which receives paints, mouse and keys.
#pragma once

#include <cstdint>
#include <memory>

#include "host/vst2_abi.h"

class CDrawContext;

class EditorWindowClient {
public:
    virtual ~EditorWindowClient() = default;

    // One paint of the whole view; the context lives for this call only.
    virtual void draw(CDrawContext& context) = 0;
    // Positions in view pixels, buttons as view button bits (left 2, middle 4,
    // right 8, shift 16, control 32, alt 64, extra buttons 256 and 512,
    // double click 1024). True when handled.
    virtual bool onMouseDown(double x, double y, std::int32_t buttons) = 0;
    virtual bool onMouseUp(double x, double y, std::int32_t buttons) = 0;
    virtual bool onMouseMoved(double x, double y, std::int32_t buttons) = 0;
    virtual bool onKeyDown(vst2::VstKeyCode& key) = 0;
    virtual bool onKeyUp(vst2::VstKeyCode& key) = 0;
};

class EditorWindow {
public:
    virtual ~EditorWindow() = default;

    // A child of the host's window (an X11 Window id or an HWND passed as a
    // pointer) of the given size in layout pixels, times the scale; false
    // when it cannot be made. The client must outlive the window's open state.
    virtual bool open(void* parent, int width, int height, EditorWindowClient& client) = 0;
    // Device pixels per layout pixel (1 to 4): the window is the layout's
    // size times this, the client draws through it and gets the pointer
    // divided by it. Set before open, or while open: the window then resizes
    // and repaints.
    virtual void setScale(double scale) { (void)scale; }
    // The scale the screen asks for where the window is (or would be, inside
    // parent); 0 when the screen says nothing. Cheap while open: what
    // changes arrive with the window system's events.
    virtual double screenScale(void* parent) {
        (void)parent;
        return 0.0;
    }
    // The screen's scale as this process last saw it, without looking at the
    // display (no connection is made); 0 when nothing is known.
    virtual double rememberedScreenScale() { return 0.0; }
    // Destroys the window; harmless when it is not open.
    virtual void close() = 0;
    // The whole window needs a paint; merged until the next idle.
    virtual void invalidate() = 0;
    // Handles what the window system queued for this window without waiting,
    // then paints once if anything made the window invalid.
    virtual void idle() = 0;
    virtual bool isOpen() const = 0;
    // The platform's id of the open window (an X11 Window id, an HWND), for
    // hosts that embed it themselves; 0 when none is open.
    virtual std::uintptr_t nativeWindow() const { return 0; }
    // The file descriptor the window system's events for this window arrive
    // on (an X connection), for hosts whose loop watches descriptors and
    // idles the editor when it is readable; -1 where there is none.
    virtual int eventDescriptor() const { return -1; }
};

// This platform's window, or null where none is linked into the program (the
// editor then refuses to open and hosts show their generic view).
std::unique_ptr<EditorWindow> createEditorWindow();

// Replaces what createEditorWindow makes: the platform's window code installs
// itself, tests install fakes. Returns the previous factory; null means none.
using EditorWindowFactory = std::unique_ptr<EditorWindow> (*)();
EditorWindowFactory installEditorWindowFactory(EditorWindowFactory factory);
