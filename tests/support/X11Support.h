// X11 pieces shared by the tests that put the editor in a real X server (run
// under Xvfb): a grab of a window's pixels, a top-level window for the editor
// to live in, and pointer and button events through XTest.
#pragma once

#include "PixelProbes.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would break the C++ headers.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

namespace x11_test {

using pixel_probes::Rgb;

// A test suite's connection, with the user's editor settings in a folder of
// the suite's own (none to start with) and no scale from the environment.
inline Display* openSuiteDisplay(const std::filesystem::path& config) {
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    unsetenv("TONARVO_SCALE");
    unsetenv("GDK_SCALE");
    return XOpenDisplay(nullptr);
}

// One grab of a window's pixels.
class Picture {
public:
    Picture(Display* display, Window window, int width, int height)
        : image(XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          AllPlanes, ZPixmap)) {}
    ~Picture() {
        if (image) XDestroyImage(image);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    bool valid() const { return image != nullptr; }
    Rgb at(int x, int y) const {
        const unsigned long p = XGetPixel(image, x, y);
        return {channel(p, image->red_mask), channel(p, image->green_mask), channel(p, image->blue_mask)};
    }

    // For looking at what the window showed.
    bool writePng(const std::string& path) const {
        cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image->width, image->height);
        unsigned char* data = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const Rgb p = at(x, y);
                reinterpret_cast<std::uint32_t*>(data + y * stride)[x] =
                    static_cast<std::uint32_t>(p.r << 16 | p.g << 8 | p.b);
            }
        cairo_surface_mark_dirty(png);
        const bool written = cairo_surface_write_to_png(png, path.c_str()) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(png);
        return written;
    }

private:
    static int channel(unsigned long pixel, unsigned long mask) {
        if (mask == 0) return 0;
        int shift = 0;
        while (((mask >> shift) & 1) == 0) ++shift;
        const unsigned long bits = mask >> shift;
        return static_cast<int>(((pixel >> shift) & bits) * 255 / bits);
    }
    XImage* image;
};

// A mapped top-level window, as a host's editor window.
inline Window makeTopLevel(Display* display, int width, int height) {
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                              static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                              BlackPixel(display, screen));
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent event;
    do XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    return window;
}

inline std::vector<Window> children(Display* display, Window parent) {
    Window root = 0, parentOfParent = 0, *list = nullptr;
    unsigned int count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, parent, &root, &parentOfParent, &list, &count)) found.assign(list, list + count);
    if (list) XFree(list);
    return found;
}

inline void pointerTo(Display* display, Window window, int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

inline void button(Display* display, unsigned int number, bool down) {
    XTestFakeButtonEvent(display, number, down ? True : False, CurrentTime);
    XSync(display, False);
}

}  // namespace x11_test
