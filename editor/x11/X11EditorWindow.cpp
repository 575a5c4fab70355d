#include "editor/x11/X11EditorWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editor/CDrawContext.h"
#include "editor/EditorScale.h"
#include "editor/cairo/CairoGraphics.h"

namespace {

// Xlib's default error handler ends the process, and an X error here is
// usually the host's fault (a parent id that is no window, a parent the host
// destroyed before closing the editor). Around our own requests we install a
// handler that only records the error, wait for the server's answers, and
// put the host's handler back. The handler is process-wide, but hosts drive
// X from this one thread, so nothing of theirs arrives meanwhile.
bool gErrorSeen = false;

int recordError(Display*, XErrorEvent*) {
    gErrorSeen = true;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display(display) {
        gErrorSeen = false;
        previous = XSetErrorHandler(&recordError);
    }
    ~ErrorTrap() { end(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // True when the server refused any request since the trap was set.
    bool end() {
        if (display) {
            XSync(display, False);
            XSetErrorHandler(previous);
            display = nullptr;
        }
        return gErrorSeen;
    }

private:
    Display* display;
    XErrorHandler previous = nullptr;
};

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask;

// VST key modifier bits.
constexpr unsigned char kKeyShift = 1, kKeyAlt = 2, kKeyControl = 4;

// The screen's scale as the last window to read it found it: what a closed
// editor's size is measured at, when it may not look at the display itself.
std::atomic<double> gLastScreenScale{0.0};

std::unique_ptr<EditorWindow> createX11Window() { return std::make_unique<X11EditorWindow>(); }

// The plug-in links this file as an object of its own, so its window becomes
// the editor's as soon as the library is loaded; binaries without it (tests,
// tools) keep an editor that does not open.
const EditorWindowFactory kReplacedFactory = installEditorWindowFactory(&createX11Window);

}  // namespace

X11EditorWindow::~X11EditorWindow() { close(); }

bool X11EditorWindow::open(void* parent, int w, int h, EditorWindowClient& viewClient) {
    close();
    const Window parentWindow = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    if (parentWindow == 0 || w <= 0 || h <= 0) return false;
    // A connection of our own: the host's is not ours to read events from,
    // and nothing else would pump them.
    display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;

    XWindowAttributes parentAttributes{};
    ErrorTrap parentTrap(display);
    const bool parentFound = XGetWindowAttributes(display, parentWindow, &parentAttributes) != 0;
    if (parentTrap.end() || !parentFound) {
        close();
        return false;
    }
    ErrorTrap createTrap(display);
    Screen* screen = parentAttributes.screen;
    Visual* visual = DefaultVisualOfScreen(screen);
    const int depth = DefaultDepthOfScreen(screen);
    // Our own colormap and border pixel let the window use the screen's
    // default visual even when the host's window has another one.
    colormap = XCreateColormap(display, RootWindowOfScreen(screen), visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;  // every paint covers the whole window; no erase flicker
    attributes.event_mask = kEventMask;
    const int deviceWidth = editor_scale::scaled(w, scale), deviceHeight = editor_scale::scaled(h, scale);
    window = XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(deviceWidth),
                           static_cast<unsigned>(deviceHeight), 0, depth,
                           InputOutput, visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    // XEmbed embedders show nothing of a client without this (version 0, mapped).
    const Atom xembedInfo = XInternAtom(display, "_XEMBED_INFO", False);
    const long xembed[2] = {0, 1};
    XChangeProperty(display, window, xembedInfo, xembedInfo, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(xembed), 2);
    XMapWindow(display, window);
    if (createTrap.end()) {
        close();
        return false;
    }

    width = w;
    height = h;
    client = &viewClient;
    this->visual = visual;
    root = RootWindowOfScreen(screen);
    // The desktop's resources change on the root window; a change of Xft.dpi
    // arrives as a property event there.
    XSelectInput(display, root, PropertyChangeMask);
    screenDensity = readScreenScale();
    if (!makeSurfaces()) {
        close();
        return false;
    }
    invalid = true;  // the first idle paints, Expose or not
    XFlush(display);
    return true;
}

bool X11EditorWindow::makeSurfaces() {
    releaseSurfaces();
    const int w = editor_scale::scaled(width, scale), h = editor_scale::scaled(height, scale);
    // The image the interface is drawn into, with the same rasteriser the
    // offscreen pictures use; RGB24 because it starts opaque black anyway.
    backBuffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (window) windowSurface = cairo_xlib_surface_create(display, window, visual, w, h);
    return cairo_surface_status(backBuffer) == CAIRO_STATUS_SUCCESS &&
           (!windowSurface || cairo_surface_status(windowSurface) == CAIRO_STATUS_SUCCESS);
}

void X11EditorWindow::setScale(double s) {
    s = editor_scale::usable(s) > 0 ? s : 1.0;
    if (s == scale) return;
    scale = s;
    if (display == nullptr || window == 0) return;
    ErrorTrap trap(display);
    XResizeWindow(display, window, static_cast<unsigned>(editor_scale::scaled(width, scale)),
                  static_cast<unsigned>(editor_scale::scaled(height, scale)));
    makeSurfaces();
    invalid = true;
}

double X11EditorWindow::screenScale(void*) {
    if (const double session = editor_scale::parse(std::getenv("GDK_SCALE")); session > 0) return session;
    if (display) return screenDensity;
    // Not open: a look at the display the window would be on.
    Display* probe = XOpenDisplay(nullptr);
    if (probe == nullptr) return 0.0;
    const double found = editor_scale::fromXResources(XResourceManagerString(probe));
    XCloseDisplay(probe);
    gLastScreenScale = found;
    return found;
}

double X11EditorWindow::rememberedScreenScale() {
    if (const double session = editor_scale::parse(std::getenv("GDK_SCALE")); session > 0) return session;
    return display ? screenDensity : gLastScreenScale.load();
}

double X11EditorWindow::readScreenScale() {
    // The property itself, not XResourceManagerString: that is the copy
    // taken when the connection opened.
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    double found = 0.0;
    ErrorTrap trap(display);
    if (XGetWindowProperty(display, root, XA_RESOURCE_MANAGER, 0, 65536, False, XA_STRING, &type, &format, &count,
                           &after, &data) == Success &&
        data && format == 8) {
        const std::string text(reinterpret_cast<const char*>(data), count);
        found = editor_scale::fromXResources(text.c_str());
    }
    if (data) XFree(data);
    gLastScreenScale = found;
    return found;
}

void X11EditorWindow::releaseSurfaces() {
    if (windowSurface) cairo_surface_destroy(windowSurface);
    if (backBuffer) cairo_surface_destroy(backBuffer);
    windowSurface = nullptr;
    backBuffer = nullptr;
}

void X11EditorWindow::close() {
    if (display == nullptr) return;
    {
        ErrorTrap trap(display);
        releaseSurfaces();
        if (window) XDestroyWindow(display, window);
        if (colormap) XFreeColormap(display, colormap);
    }
    XCloseDisplay(display);
    display = nullptr;
    window = 0;
    colormap = 0;
    client = nullptr;
    root = 0;
    visual = nullptr;
    invalid = false;
    extraButtons = 0;
    clicks = {};
}

void X11EditorWindow::idle() {
    if (display == nullptr) return;
    // Only what already arrived: idle must never wait for the server.
    while (display && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handle(event);
    }
    if (display == nullptr) return;
    if (invalid && window) paint();
    XFlush(display);
}

void X11EditorWindow::handle(XEvent& event) {
    if (event.type == PropertyNotify && event.xproperty.window == root &&
        event.xproperty.atom == XA_RESOURCE_MANAGER) {
        screenDensity = readScreenScale();
        return;
    }
    if (event.xany.window != window || client == nullptr) return;
    switch (event.type) {
        case Expose: invalid = true; break;  // every region merges into the one paint of this idle
        case ButtonPress: pointerPress(event.xbutton); break;
        case ButtonRelease: pointerRelease(event.xbutton); break;
        case MotionNotify: {
            const XMotionEvent& m = event.xmotion;
            client->onMouseMoved(m.x / scale, m.y / scale, x11_editor::viewButtons(m.state) | extraButtons);
            break;
        }
        case EnterNotify: {
            // The pointer arriving is a move over the view; leaving needs nothing.
            const XCrossingEvent& c = event.xcrossing;
            client->onMouseMoved(c.x / scale, c.y / scale, x11_editor::viewButtons(c.state) | extraButtons);
            break;
        }
        case KeyPress: key(event.xkey, true); break;
        case KeyRelease: key(event.xkey, false); break;
        case DestroyNotify:
            // Hosts destroy their window before closing the editor, which
            // takes ours with it: nothing is left to draw on or destroy.
            if (event.xdestroywindow.window == window) {
                ErrorTrap trap(display);
                if (windowSurface) cairo_surface_destroy(windowSurface);
                windowSurface = nullptr;
                window = 0;
            }
            break;
        default: break;
    }
}

void X11EditorWindow::pointerPress(const XButtonEvent& event) {
    if (x11_editor::isWheel(event.button)) return;
    extraButtons |= x11_editor::extraButtonBit(event.button);
    // X reports the state before the event; the view wants it after.
    std::int32_t bits = x11_editor::viewButtons(event.state | x11_editor::buttonMask(event.button)) | extraButtons;
    if (clicks.press(event.button, static_cast<std::uint32_t>(event.time), event.x, event.y))
        bits |= x11_editor::kViewDoubleClick;
    // X grabs the pointer for us from press to release, so moves and the
    // release arrive here even outside the window.
    client->onMouseDown(event.x / scale, event.y / scale, bits);
}

void X11EditorWindow::pointerRelease(const XButtonEvent& event) {
    if (x11_editor::isWheel(event.button)) return;
    extraButtons &= ~x11_editor::extraButtonBit(event.button);
    const std::int32_t bits = x11_editor::viewButtons(event.state & ~x11_editor::buttonMask(event.button)) | extraButtons;
    client->onMouseUp(event.x / scale, event.y / scale, bits);
}

void X11EditorWindow::key(XKeyEvent& event, bool down) {
    char text[8] = {};
    KeySym keysym = NoSymbol;
    const int length = XLookupString(&event, text, sizeof text, &keysym, nullptr);
    vst2::VstKeyCode code{};
    code.character = length == 1 ? static_cast<unsigned char>(text[0]) : 0;
    code.modifier = static_cast<unsigned char>(((event.state & ShiftMask) ? kKeyShift : 0) |
                                               ((event.state & Mod1Mask) ? kKeyAlt : 0) |
                                               ((event.state & ControlMask) ? kKeyControl : 0));
    if (down)
        client->onKeyDown(code);
    else
        client->onKeyUp(code);
}

void X11EditorWindow::paint() {
    invalid = false;  // an invalidation during the paint asks for the next one
    cairo_t* cr = cairo_create(backBuffer);
    cairo_set_source_rgb(cr, 0, 0, 0);  // the interface paints no background of its own
    cairo_paint(cr);
    try {
        gfx::CairoGraphics graphics(cr, scale);
        CDrawContext context(&graphics, gfx::IntRect{0, 0, width, height});
        client->draw(context);
    } catch (...) {
        // Nothing may cross into the host; the frame shows what was drawn.
    }
    cairo_destroy(cr);
    cairo_surface_flush(backBuffer);

    // Waiting for the server here keeps a dying parent's errors in our trap,
    // and leaves the window showing this frame when idle returns.
    ErrorTrap trap(display);
    cairo_t* out = cairo_create(windowSurface);
    cairo_set_operator(out, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(out, backBuffer, 0, 0);
    cairo_paint(out);
    cairo_destroy(out);
    cairo_surface_flush(windowSurface);
}
