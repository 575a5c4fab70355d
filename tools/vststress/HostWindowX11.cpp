#include <cstdint>
#include <cstdlib>

#include "tools/vststress/HostWindow.h"

// Last: Xlib's macros (None, Bool, Status) would break the C++ headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace stress {

namespace {

class X11Window final : public HostWindow {
public:
    X11Window(Display* display, Window window) : display_(display), window_(window) {}
    ~X11Window() override {
        if (pressed_) XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    void* parent() override { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_)); }

    void pump() override {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }

    void pointer(int x, int y, bool pressed) override {
        int rootX = 0, rootY = 0;
        Window child = 0;
        XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
        if (pressed != pressed_) XTestFakeButtonEvent(display_, 1, pressed ? True : False, CurrentTime);
        pressed_ = pressed;
        XFlush(display_);
    }

    int children() override {
        Window root = 0, parentOfParent = 0, *list = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, window_, &root, &parentOfParent, &list, &count)) count = 0;
        if (list != nullptr) XFree(list);
        return static_cast<int>(count);
    }

private:
    Display* display_;
    Window window_;
    bool pressed_ = false;
};

}  // namespace

std::unique_ptr<HostWindow> HostWindow::create(int width, int height, std::string& reason) {
    if (std::getenv("DISPLAY") == nullptr) {
        reason = "no DISPLAY";
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        reason = "cannot open the display";
        return nullptr;
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        reason = "the X server has no XTest extension";
        return nullptr;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                              static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                              BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent mapped;
    do XWindowEvent(display, window, StructureNotifyMask, &mapped);
    while (mapped.type != MapNotify);
    return std::make_unique<X11Window>(display, window);
}

}  // namespace stress
