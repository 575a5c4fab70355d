// The editor window on X11: a child of the host's window on a display
// connection of its own, painted through a Cairo back buffer. Nothing pumps a
// plug-in's X events on Linux, so the host's idle calls do: each drains what
// is queued for this window without blocking and paints at most once.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>

#include "editor/EditorWindow.h"
#include "editor/x11/X11Pointer.h"

class X11EditorWindow final : public EditorWindow {
public:
    X11EditorWindow() = default;
    ~X11EditorWindow() override;
    X11EditorWindow(const X11EditorWindow&) = delete;
    X11EditorWindow& operator=(const X11EditorWindow&) = delete;

    bool open(void* parent, int width, int height, EditorWindowClient& client) override;
    void close() override;
    void invalidate() override { invalid = true; }
    void idle() override;
    bool isOpen() const override { return display != nullptr; }
    void setScale(double scale) override;
    // GDK_SCALE when set, else Xft.dpi / 96 from the screen's resources (as
    // desktop toolkits read them); followed while open.
    double screenScale(void* parent) override;
    // GDK_SCALE when set, else what a window of this process last read.
    double rememberedScreenScale() override;
    std::uintptr_t nativeWindow() const override { return window; }
    int eventDescriptor() const override { return display ? ConnectionNumber(display) : -1; }

private:
    void handle(XEvent& event);
    void pointerPress(const XButtonEvent& event);
    void pointerRelease(const XButtonEvent& event);
    void key(XKeyEvent& event, bool down);
    void paint();
    void releaseSurfaces();
    bool makeSurfaces();
    double readScreenScale();

    Display* display = nullptr;
    Window window = 0;
    Colormap colormap = 0;
    EditorWindowClient* client = nullptr;
    int width = 0, height = 0;  // the layout's
    double scale = 1.0;
    double screenDensity = 0.0;  // the screen's scale as last read
    Visual* visual = nullptr;
    Window root = 0;
    cairo_surface_t* backBuffer = nullptr;
    cairo_surface_t* windowSurface = nullptr;
    bool invalid = false;

    x11_editor::ClickTracker clicks;
    std::int32_t extraButtons = 0;  // side buttons held
};
