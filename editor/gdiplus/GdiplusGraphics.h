// GDI+ drawing backend (Windows), through the flat API of gdiplus.dll: a
// paint target over any GDI+ graphics object (an offscreen bitmap for tests,
// a window's device context for the editor), and the platform fonts and
// images it draws with.
//
// GDI+ must not be started or stopped inside DllMain, and a host may load
// the plug-in without ever opening its editor, so GDI+ runs only while
// something of this backend exists: every font, image and graphics object
// holds a GdiplusSession, the first one starts GDI+ and the last one to go
// shuts it down.
#pragma once

#include "editor/GraphicsBackend.h"

namespace Gdiplus {
class GpGraphics;
class GpBitmap;
class GpFont;
class GpPen;
class GpSolidFill;
}  // namespace Gdiplus

namespace gfx {

// One hold on the process's GDI+ start-up. Copyable: each copy is a hold.
class GdiplusSession {
public:
    GdiplusSession();
    GdiplusSession(const GdiplusSession&);
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession();
    // False when GdiplusStartup failed; nothing of GDI+ may be called then.
    bool running() const { return started; }
    // Holds currently alive (zero means GDI+ is shut down).
    static int holders();

private:
    bool started;
};

class GdiplusGraphics final : public BackendGraphics {
public:
    // Draws on graphics, which must stay valid while this object lives; its
    // rendering settings are set for the interface's pixel model. At a scale
    // above 1 the layout's pixel (i, j) covers the device square from
    // (i, j) * scale to (i + 1, j + 1) * scale (a world transform): shapes
    // and text are drawn at that size, images are resampled once per scale
    // and copied pixel for pixel.
    explicit GdiplusGraphics(Gdiplus::GpGraphics* graphics, double scale = 1.0);
    ~GdiplusGraphics() override;
    GdiplusGraphics(const GdiplusGraphics&) = delete;
    GdiplusGraphics& operator=(const GdiplusGraphics&) = delete;

    void setAntialias(bool on) override;
    void setClip(const IntRect& clip) override;
    void drawLine(int x1, int y1, int x2, int y2, Colour colour, double width) override;
    void fillRect(double x, double y, double width, double height, Colour colour) override;
    void strokeRect(double x, double y, double width, double height, Colour colour, double lineWidth) override;
    void fillEllipse(int x, int y, int width, int height, Colour colour) override;
    void strokeEllipse(int x, int y, int width, int height, Colour colour, double lineWidth) override;
    void drawArc(double x, double y, double width, double height, double startDegrees, double sweepDegrees,
                 const Colour* fill, const Colour* frame, double lineWidth) override;
    double fontHeight(BackendFont& font) override;
    double textWidth(BackendFont& font, const std::string& utf8) override;
    void drawText(BackendFont& font, const std::string& utf8, double x, double top, Colour colour,
                  bool antialias) override;
    void drawImage(BackendImage& image, int x, int y, int width, int height, int sourceX, int sourceY,
                   std::uint8_t alpha) override;

    // The status of the last GDI+ call that failed (0 when none has): failures
    // are kept here and go no further.
    int lastFailure() const { return failure; }

private:
    bool check(int status);
    double measure(BackendFont& font, const wchar_t* wide);
    double layoutMeasure(BackendFont& font, const wchar_t* wide);
    void drawImageUnscaled(Gdiplus::GpBitmap* source, int x, int y, int width, int height, int sourceX, int sourceY,
                           std::uint8_t alpha);
    Gdiplus::GpPen* penOf(Colour colour, double width);
    Gdiplus::GpSolidFill* fillOf(Colour colour);

    GdiplusSession session;
    Gdiplus::GpGraphics* graphics;
    double scale;
    Gdiplus::GpPen* pen = nullptr;
    Gdiplus::GpSolidFill* fill = nullptr;
    Gdiplus::GpSolidFill* text = nullptr;
    Colour penColour{255, 255, 255, 255};
    double penWidth = 1.0;
    Colour fillColour{0, 0, 0, 255};
    int failure = 0;
};

// Fonts by face name (a face GDI+ cannot find gives null), images decoded by
// GDI+ from PNG bytes or image files.
GraphicsPlatform& gdiplusGraphicsPlatform();

// What this backend made a font or an image from, for looking at it.
Gdiplus::GpFont* gdiplusFontOf(BackendFont& font);
Gdiplus::GpBitmap* gdiplusBitmapOf(BackendImage& image);
// The image resampled to round(size * scale), made on first use at that scale
// and kept with the image; the image itself at scale 1. Null when GDI+ fails.
Gdiplus::GpBitmap* gdiplusScaledBitmapOf(BackendImage& image, double scale);

}  // namespace gfx
