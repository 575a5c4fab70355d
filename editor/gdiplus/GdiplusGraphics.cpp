#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "editor/gdiplus/GdiplusGraphics.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "runtime/platform/PlatformWindows.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace gfx {

// ---------------------------------------------------------------------------
// Start-up and shut-down

namespace {

struct SessionState {
    std::mutex mutex;
    int holders = 0;
    bool running = false;
    ULONG_PTR token = 0;
};

SessionState& sessionState() {
    static SessionState state;
    return state;
}

}  // namespace

GdiplusSession::GdiplusSession() {
    SessionState& state = sessionState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.holders == 0) {
        const GdiplusStartupInput input;
        state.running = GdiplusStartup(&state.token, &input, nullptr) == Ok;
    }
    ++state.holders;
    started = state.running;
}

GdiplusSession::GdiplusSession(const GdiplusSession&) : GdiplusSession() {}

GdiplusSession::~GdiplusSession() {
    SessionState& state = sessionState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (--state.holders == 0 && state.running) {
        GdiplusShutdown(state.token);
        state.running = false;
    }
}

int GdiplusSession::holders() {
    SessionState& state = sessionState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.holders;
}

// ---------------------------------------------------------------------------
// Fonts, images and the platform

namespace {

ARGB argbOf(Colour c) {
    return static_cast<ARGB>(c.alpha) << 24 | static_cast<ARGB>(c.red) << 16 | static_cast<ARGB>(c.green) << 8 |
           static_cast<ARGB>(c.blue);
}

// UTF-8 to UTF-16; text that does not convert is empty.
std::vector<WCHAR> wideOf(const std::string& utf8) {
    const int length = static_cast<int>(utf8.size());
    std::vector<WCHAR> wide(static_cast<std::size_t>(length) + 1, 0);
    if (length == 0) return wide;
    const int converted = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), length + 1);
    if (converted <= 0) return std::vector<WCHAR>(1, 0);
    wide[static_cast<std::size_t>(converted)] = 0;
    return wide;
}

class GdiplusFont final : public BackendFont {
public:
    GdiplusFont(const GdiplusSession& session, GpFont* font) : session(session), font(font) {}
    ~GdiplusFont() override { GdipDeleteFont(font); }
    const GdiplusSession session;
    GpFont* const font;
};

class GdiplusImage final : public BackendImage {
public:
    GdiplusImage(const GdiplusSession& session, GpBitmap* bitmap, int width, int height)
        : session(session), bitmap(bitmap), w(width), h(height) {}
    ~GdiplusImage() override {
        for (const auto& [s, copy] : scaled) GdipDisposeImage(copy);
        GdipDisposeImage(bitmap);
    }
    int width() const override { return w; }
    int height() const override { return h; }

    GpBitmap* at(double s) {
        if (s == 1.0) return bitmap;
        std::lock_guard<std::mutex> lock(mutex);  // two editors may share a decoded image
        for (const auto& [made, copy] : scaled)
            if (made == s) return copy;
        const INT sw = std::max(1, static_cast<INT>(std::lround(w * s)));
        const INT sh = std::max(1, static_cast<INT>(std::lround(h * s)));
        GpBitmap* copy = nullptr;
        GpGraphics* g = nullptr;
        GpImageAttributes* attributes = nullptr;
        bool made = GdipCreateBitmapFromScan0(sw, sh, 0, PixelFormat32bppARGB, nullptr, &copy) == Ok &&
                    GdipGetImageGraphicsContext(copy, &g) == Ok;
        if (made) {
            // The best filter GDI+ has, once; the edges continue the edge
            // pixels instead of fading into transparency.
            GdipSetInterpolationMode(g, InterpolationModeHighQualityBicubic);
            GdipSetPixelOffsetMode(g, PixelOffsetModeHalf);
            GdipSetCompositingMode(g, CompositingModeSourceCopy);
            if (GdipCreateImageAttributes(&attributes) == Ok)
                GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0, FALSE);
            made = GdipDrawImageRectRectI(g, bitmap, 0, 0, sw, sh, 0, 0, w, h, UnitPixel, attributes, nullptr,
                                          nullptr) == Ok;
        }
        if (attributes) GdipDisposeImageAttributes(attributes);
        if (g) GdipDeleteGraphics(g);
        if (!made) {
            if (copy) GdipDisposeImage(copy);
            return nullptr;
        }
        scaled.emplace_back(s, copy);
        return copy;
    }

    const GdiplusSession session;
    GpBitmap* const bitmap;
    const int w, h;

private:
    std::mutex mutex;
    std::vector<std::pair<double, GpBitmap*>> scaled;
};

// A read-only stream over bytes that outlive it (the library's resources):
// what GDI+ decodes PNG data from.
class ResourceStream final : public IStream {
public:
    ResourceStream(const unsigned char* bytes, std::size_t size) : bytes(bytes), size(size) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(ISequentialStream)) ||
            IsEqualIID(riid, __uuidof(IStream))) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        const std::size_t available = position < size ? size - position : 0;
        const ULONG n = static_cast<ULONG>(count < available ? count : available);
        if (n) std::memcpy(buffer, bytes + position, n);
        position += n;
        if (read) *read = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base;
        switch (origin) {
            case STREAM_SEEK_SET: base = 0; break;
            case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position); break;
            case STREAM_SEEK_END: base = static_cast<LONGLONG>(size); break;
            default: return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position = static_cast<std::size_t>(target);
        if (newPosition) newPosition->QuadPart = static_cast<ULONGLONG>(position);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        if (target == nullptr) return STG_E_INVALIDPOINTER;
        const std::size_t available = position < size ? size - position : 0;
        const ULONG n = static_cast<ULONG>(count.QuadPart < available ? count.QuadPart : available);
        ULONG done = 0;
        const HRESULT result = n ? target->Write(bytes + position, n, &done) : S_OK;
        position += n;
        if (read) read->QuadPart = n;
        if (written) written->QuadPart = done;
        return result;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof *stat);  // no name, whatever the flag asks
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = size;
        stat->grfMode = STGM_READ;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
        if (copy == nullptr) return STG_E_INVALIDPOINTER;
        auto* twin = new ResourceStream(bytes, size);
        twin->position = position;
        *copy = twin;
        return S_OK;
    }

private:
    ~ResourceStream() = default;

    const unsigned char* const bytes;
    const std::size_t size;
    std::size_t position = 0;
    std::atomic<ULONG> references{1};
};

class GdiplusPlatform final : public GraphicsPlatform {
public:
    std::unique_ptr<BackendFont> createFont(const std::string& face, double sizePixels, int style) override {
        GdiplusSession session;
        if (!session.running()) return nullptr;
        // Face names go through the C runtime's locale, as the toolkit
        // widened them; longer names are cut.
        WCHAR name[201] = {};
        const std::size_t converted = std::mbstowcs(name, face.c_str(), 200);
        if (converted == static_cast<std::size_t>(-1)) return nullptr;
        name[200] = 0;
        GpFontFamily* family = nullptr;
        if (GdipCreateFontFamilyFromName(name, nullptr, &family) != Ok || family == nullptr) return nullptr;
        // One style only, in the toolkit's order of precedence.
        const INT single = (style & kUnderline) ? FontStyleUnderline
                           : (style & kItalic)  ? FontStyleItalic
                           : (style & kBold)    ? FontStyleBold
                                                : FontStyleRegular;
        GpFont* font = nullptr;
        const GpStatus made = GdipCreateFont(family, static_cast<REAL>(sizePixels), single, UnitPixel, &font);
        GdipDeleteFontFamily(family);
        if (made != Ok || font == nullptr) return nullptr;
        return std::make_unique<GdiplusFont>(session, font);
    }

    std::shared_ptr<BackendImage> decodeImage(const unsigned char* bytes, std::size_t size) override {
        return decodeResource(-1, bytes, size);
    }

    std::shared_ptr<BackendImage> decodeResource(int number, const unsigned char* bytes, std::size_t size) override {
        GdiplusSession session;
        if (!session.running()) return nullptr;
        GpBitmap* decoded = nullptr;
        if (bytes != nullptr && size > 0) {
            ResourceStream* stream = new ResourceStream(bytes, size);
            if (GdipCreateBitmapFromStreamICM(stream, &decoded) != Ok) decoded = nullptr;
            stream->Release();  // GDI+ keeps its own reference while it needs one
        }
        if (decoded == nullptr && number >= 0 && number <= 0xFFFF) {
            HMODULE module = platform::windows::moduleHandle();
            if (module == nullptr) module = GetModuleHandleW(nullptr);
            if (GdipCreateBitmapFromResource(module, MAKEINTRESOURCEW(number), &decoded) != Ok) decoded = nullptr;
        }
        return detached(session, decoded);
    }

    std::shared_ptr<BackendImage> loadImageFile(const std::string& path) override {
        GdiplusSession session;
        if (!session.running()) return nullptr;
        // Byte by byte, no code page: the name as the runtime resolved it.
        std::vector<WCHAR> name(path.size() + 1, 0);
        for (std::size_t i = 0; i < path.size(); ++i) name[i] = static_cast<unsigned char>(path[i]);
        GpBitmap* file = nullptr;
        if (GdipCreateBitmapFromFile(name.data(), &file) != Ok) file = nullptr;
        return detached(session, file);
    }

private:
    // A copy of the decoded image in memory of its own, so that neither the
    // file nor the stream it came from stays in use; the original goes.
    static std::shared_ptr<BackendImage> detached(const GdiplusSession& session, GpBitmap* source) {
        if (source == nullptr) return nullptr;
        UINT width = 0, height = 0;
        GdipGetImageWidth(source, &width);
        GdipGetImageHeight(source, &height);
        GpBitmap* copy = nullptr;
        const GpStatus cloned = GdipCloneBitmapAreaI(0, 0, static_cast<INT>(width), static_cast<INT>(height),
                                                     PixelFormat32bppARGB, source, &copy);
        GdipDisposeImage(source);
        if (cloned != Ok || copy == nullptr) return nullptr;
        return std::make_shared<GdiplusImage>(session, copy, static_cast<int>(width), static_cast<int>(height));
    }
};

}  // namespace

GraphicsPlatform& gdiplusGraphicsPlatform() {
    static GdiplusPlatform platform;
    return platform;
}

GpFont* gdiplusFontOf(BackendFont& font) { return static_cast<GdiplusFont&>(font).font; }
GpBitmap* gdiplusBitmapOf(BackendImage& image) { return static_cast<GdiplusImage&>(image).bitmap; }
GpBitmap* gdiplusScaledBitmapOf(BackendImage& image, double scale) {
    return static_cast<GdiplusImage&>(image).at(scale);
}

// ---------------------------------------------------------------------------
// One paint's target

GdiplusGraphics::GdiplusGraphics(GpGraphics* target, double scale)
    : graphics(session.running() ? target : nullptr), scale(scale) {
    if (!graphics) return;
    check(GdipSetInterpolationMode(graphics, InterpolationModeLowQuality));
    check(GdipSetPageUnit(graphics, UnitPixel));
    // Pixel centres on whole coordinates: a fill from x to x + w covers w
    // pixels and one-pixel lines on whole coordinates cover whole pixels.
    check(GdipSetPixelOffsetMode(graphics, PixelOffsetModeNone));
    if (scale != 1.0) {
        // device = scale * (layout + 1/2) - 1/2: the layout's pixel square
        // around (i, j) onto the device squares from scale * (i, j) on, in
        // the same centre convention. Left out at 1, so the pictures there
        // stay exactly what they were.
        const REAL s = static_cast<REAL>(scale), offset = static_cast<REAL>((scale - 1) / 2);
        GpMatrix* matrix = nullptr;
        if (check(GdipCreateMatrix2(s, 0, 0, s, offset, offset, &matrix))) {
            check(GdipSetWorldTransform(graphics, matrix));
            GdipDeleteMatrix(matrix);
        }
    }
    check(GdipSetSmoothingMode(graphics, SmoothingModeNone));
    // A pen in pixels keeps its width through the world transform; in world
    // units it grows with the scale as everything else does.
    if (!check(GdipCreatePen1(argbOf(penColour), static_cast<REAL>(penWidth), scale != 1.0 ? UnitWorld : UnitPixel,
                              &pen)))
        pen = nullptr;
    if (!check(GdipCreateSolidFill(argbOf(fillColour), &fill))) fill = nullptr;
    if (!check(GdipCreateSolidFill(0xFFFFFFFF, &text))) text = nullptr;
}

GdiplusGraphics::~GdiplusGraphics() {
    if (pen) GdipDeletePen(pen);
    if (fill) GdipDeleteBrush(fill);
    if (text) GdipDeleteBrush(text);
}

bool GdiplusGraphics::check(int status) {
    if (status != Ok) failure = status;
    return status == Ok;
}

GpPen* GdiplusGraphics::penOf(Colour colour, double width) {
    if (!pen) return nullptr;
    if (colour != penColour && check(GdipSetPenColor(pen, argbOf(colour)))) penColour = colour;
    if (width != penWidth && check(GdipSetPenWidth(pen, static_cast<REAL>(width)))) penWidth = width;
    return pen;
}

GpSolidFill* GdiplusGraphics::fillOf(Colour colour) {
    if (!fill) return nullptr;
    if (colour != fillColour && check(GdipSetSolidFillColor(fill, argbOf(colour)))) fillColour = colour;
    return fill;
}

void GdiplusGraphics::setAntialias(bool on) {
    if (graphics) check(GdipSetSmoothingMode(graphics, on ? SmoothingModeAntiAlias : SmoothingModeNone));
}

void GdiplusGraphics::setClip(const IntRect& clip) {
    if (graphics)
        check(GdipSetClipRectI(graphics, clip.left, clip.top, clip.width() > 0 ? clip.width() : 0,
                               clip.height() > 0 ? clip.height() : 0, CombineModeReplace));
}

void GdiplusGraphics::drawLine(int x1, int y1, int x2, int y2, Colour colour, double width) {
    if (GpPen* p = graphics ? penOf(colour, width) : nullptr) check(GdipDrawLineI(graphics, p, x1, y1, x2, y2));
}

void GdiplusGraphics::fillRect(double x, double y, double width, double height, Colour colour) {
    if (GpSolidFill* brush = graphics ? fillOf(colour) : nullptr)
        check(GdipFillRectangle(graphics, brush, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                                static_cast<REAL>(height)));
}

void GdiplusGraphics::strokeRect(double x, double y, double width, double height, Colour colour, double lineWidth) {
    if (GpPen* p = graphics ? penOf(colour, lineWidth) : nullptr)
        check(GdipDrawRectangle(graphics, p, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                                static_cast<REAL>(height)));
}

void GdiplusGraphics::fillEllipse(int x, int y, int width, int height, Colour colour) {
    if (GpSolidFill* brush = graphics ? fillOf(colour) : nullptr)
        check(GdipFillEllipseI(graphics, brush, x, y, width, height));
}

void GdiplusGraphics::strokeEllipse(int x, int y, int width, int height, Colour colour, double lineWidth) {
    if (GpPen* p = graphics ? penOf(colour, lineWidth) : nullptr)
        check(GdipDrawEllipseI(graphics, p, x, y, width, height));
}

void GdiplusGraphics::drawArc(double x, double y, double width, double height, double startDegrees,
                              double sweepDegrees, const Colour* fillColourOrNull, const Colour* frame,
                              double lineWidth) {
    if (!graphics) return;
    GpPath* path = nullptr;
    if (!check(GdipCreatePath(FillModeAlternate, &path)) || path == nullptr) return;
    if (check(GdipAddPathArc(path, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(width),
                             static_cast<REAL>(height), static_cast<REAL>(startDegrees),
                             static_cast<REAL>(sweepDegrees)))) {
        if (fillColourOrNull)
            if (GpSolidFill* brush = fillOf(*fillColourOrNull)) check(GdipFillPath(graphics, brush, path));
        if (frame)
            if (GpPen* p = penOf(*frame, lineWidth)) check(GdipDrawPath(graphics, p, path));
    }
    GdipDeletePath(path);
}

double GdiplusGraphics::fontHeight(BackendFont& font) {
    if (!graphics) return 0;
    REAL dpi = 0, height = 0;
    if (!check(GdipGetDpiY(graphics, &dpi))) return 0;
    if (!check(GdipGetFontHeightGivenDPI(gdiplusFontOf(font), dpi, &height))) return 0;
    return height;
}

double GdiplusGraphics::measure(BackendFont& font, const WCHAR* wide) {
    const RectF layout(0, 0, 0, 0);
    RectF box(0, 0, 0, 0);
    if (!check(GdipMeasureString(graphics, wide, -1, gdiplusFontOf(font), &layout, nullptr, &box, nullptr, nullptr)))
        return 0;
    return box.Width;
}

double GdiplusGraphics::layoutMeasure(BackendFont& font, const WCHAR* wide) {
    if (scale == 1.0) return measure(font, wide);
    // Text is laid out as at scale 1: widths measured through the scale
    // follow advances fitted to the device's pixel grid, which would move
    // every later glyph and whatever the effect places after the text.
    GpMatrix* saved = nullptr;
    if (!check(GdipCreateMatrix(&saved))) return 0;
    check(GdipGetWorldTransform(graphics, saved));
    check(GdipResetWorldTransform(graphics));
    const double width = measure(font, wide);
    check(GdipSetWorldTransform(graphics, saved));
    GdipDeleteMatrix(saved);
    return width;
}

double GdiplusGraphics::textWidth(BackendFont& font, const std::string& utf8) {
    if (!graphics) return 0;
    const std::vector<WCHAR> wide = wideOf(utf8);
    if (wide[0] == 0) return 0;
    return layoutMeasure(font, wide.data());
}

void GdiplusGraphics::drawText(BackendFont& font, const std::string& utf8, double x, double top, Colour colour,
                               bool antialias) {
    if (!graphics || !text) return;
    const std::vector<WCHAR> wide = wideOf(utf8);
    if (wide[0] == 0) return;
    check(GdipSetTextRenderingHint(graphics, antialias ? TextRenderingHintClearTypeGridFit
                                                       : TextRenderingHintSystemDefault));
    check(GdipSetSolidFillColor(text, argbOf(colour)));
    const RectF layout(static_cast<REAL>(x), static_cast<REAL>(top), 0, 0);
    GpMatrix* saved = nullptr;
    if (scale != 1.0) {
        // Glyphs drawn at the device's size, the line stretched to its width
        // at scale 1 (a few per cent at most), so it ends where the layout
        // says.
        const double atOne = layoutMeasure(font, wide.data()), here = measure(font, wide.data());
        if (atOne > 0 && here > 0 && atOne != here && check(GdipCreateMatrix(&saved))) {
            check(GdipGetWorldTransform(graphics, saved));
            const REAL left = static_cast<REAL>(x);
            check(GdipTranslateWorldTransform(graphics, left, 0, MatrixOrderPrepend));
            check(GdipScaleWorldTransform(graphics, static_cast<REAL>(atOne / here), 1, MatrixOrderPrepend));
            check(GdipTranslateWorldTransform(graphics, -left, 0, MatrixOrderPrepend));
        }
    }
    check(GdipDrawString(graphics, wide.data(), -1, gdiplusFontOf(font), &layout, nullptr, text));
    if (saved) {
        check(GdipSetWorldTransform(graphics, saved));
        GdipDeleteMatrix(saved);
    }
}

void GdiplusGraphics::drawImage(BackendImage& image, int x, int y, int width, int height, int sourceX, int sourceY,
                                std::uint8_t alpha) {
    if (!graphics) return;
    if (scale != 1.0) {
        // The copy made for this scale, pixel for pixel on device pixels:
        // resampling every frame would blur it and cost each time. The clip
        // is the layout's rectangle, in device pixels as GDI+ keeps it.
        GpBitmap* big = gdiplusScaledBitmapOf(image, scale);
        if (big == nullptr) return;
        const auto device = [&](int v) { return static_cast<INT>(std::lround(v * scale)); };
        const INT left = device(x), top = device(y), right = device(x + width), bottom = device(y + height);
        const INT fromX = device(sourceX), fromY = device(sourceY);
        UINT bigWidth = 0, bigHeight = 0;
        GdipGetImageWidth(big, &bigWidth);
        GdipGetImageHeight(big, &bigHeight);
        const INT w = std::min(right - left, static_cast<INT>(bigWidth) - fromX);
        const INT h = std::min(bottom - top, static_cast<INT>(bigHeight) - fromY);
        if (w <= 0 || h <= 0 || fromX < 0 || fromY < 0) return;
        GpMatrix* saved = nullptr;
        if (!check(GdipCreateMatrix(&saved))) return;
        check(GdipGetWorldTransform(graphics, saved));
        check(GdipResetWorldTransform(graphics));
        drawImageUnscaled(big, left, top, w, h, fromX, fromY, alpha);
        check(GdipSetWorldTransform(graphics, saved));
        GdipDeleteMatrix(saved);
        return;
    }
    drawImageUnscaled(gdiplusBitmapOf(image), x, y, width, height, sourceX, sourceY, alpha);
}

void GdiplusGraphics::drawImageUnscaled(GpBitmap* source, int x, int y, int width, int height, int sourceX,
                                        int sourceY, std::uint8_t alpha) {
    if (alpha == 255) {
        check(GdipDrawImageRectRectI(graphics, source, x, y, width, height, sourceX, sourceY, width, height, UnitPixel,
                                     nullptr, nullptr, nullptr));
        return;
    }
    // A constant alpha is a colour matrix, which applies to a whole image: the
    // source area goes through a bitmap of its own first.
    GpBitmap* area = nullptr;
    GpGraphics* areaGraphics = nullptr;
    GpImageAttributes* attributes = nullptr;
    if (check(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &area)) &&
        check(GdipGetImageGraphicsContext(area, &areaGraphics)) &&
        check(GdipDrawImageRectRectI(areaGraphics, source, 0, 0, width, height, sourceX, sourceY, width, height,
                                     UnitPixel, nullptr, nullptr, nullptr)) &&
        check(GdipCreateImageAttributes(&attributes))) {
        ColorMatrix matrix = {};
        for (int i = 0; i < 5; ++i) matrix.m[i][i] = 1;
        matrix.m[3][3] = static_cast<REAL>(alpha / 255.0);
        if (check(GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, TRUE, &matrix, nullptr,
                                                    ColorMatrixFlagsDefault)))
            check(GdipDrawImageRectRectI(graphics, area, x, y, width, height, 0, 0, width, height, UnitPixel,
                                         attributes, nullptr, nullptr));
    }
    if (attributes) GdipDisposeImageAttributes(attributes);
    if (areaGraphics) GdipDeleteGraphics(areaGraphics);
    if (area) GdipDisposeImage(area);
}

}  // namespace gfx
