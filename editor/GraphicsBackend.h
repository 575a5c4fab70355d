// The drawing surface seam. The portable drawing code (contexts, fonts,
// bitmaps, the adapter's primitives) speaks to these interfaces; each
// platform supplies one implementation (Cairo on Linux, GDI+ on Windows).
//
// Coordinates follow the pixel-centre convention the interface was laid out
// with: the pixel (i, j) is centred on the whole coordinates (i, j), so a
// one-pixel line at y = 5 lies on pixel row 5 and a fill from x to x + w
// covers exactly w pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace gfx {

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 255;

    // red | green << 8 | blue << 16 | alpha << 24
    std::uint32_t packed() const {
        return static_cast<std::uint32_t>(red) | static_cast<std::uint32_t>(green) << 8 |
               static_cast<std::uint32_t>(blue) << 16 | static_cast<std::uint32_t>(alpha) << 24;
    }
    bool operator==(const Colour&) const = default;

    // Channels given as integers keep their low byte.
    static Colour fromInts(int r, int g, int b, int a) {
        return {static_cast<std::uint8_t>(r & 0xFF), static_cast<std::uint8_t>(g & 0xFF),
                static_cast<std::uint8_t>(b & 0xFF), static_cast<std::uint8_t>(a & 0xFF)};
    }
};

struct IntRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const IntRect&) const = default;
};

enum FontStyle : int { kBold = 1, kItalic = 2, kUnderline = 4 };

class BackendFont {
public:
    virtual ~BackendFont() = default;
};

class BackendImage {
public:
    virtual ~BackendImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};

// One paint's target.
class BackendGraphics {
public:
    virtual ~BackendGraphics() = default;

    virtual void setAntialias(bool on) = 0;
    virtual void setClip(const IntRect& clip) = 0;
    virtual void drawLine(int x1, int y1, int x2, int y2, Colour colour, double width) = 0;
    virtual void fillRect(double x, double y, double width, double height, Colour colour) = 0;
    virtual void strokeRect(double x, double y, double width, double height, Colour colour, double lineWidth) = 0;
    virtual void fillEllipse(int x, int y, int width, int height, Colour colour) = 0;
    virtual void strokeEllipse(int x, int y, int width, int height, Colour colour, double lineWidth) = 0;
    // An arc in the box (degrees, clockwise on screen from the x axis), filled
    // as a pie-less path and/or stroked.
    virtual void drawArc(double x, double y, double width, double height, double startDegrees,
                         double sweepDegrees, const Colour* fill, const Colour* frame, double lineWidth) = 0;

    // Line advance of the font in pixels.
    virtual double fontHeight(BackendFont& font) = 0;
    virtual double textWidth(BackendFont& font, const std::string& utf8) = 0;
    // Text whose layout box has its top-left corner at (x, top).
    virtual void drawText(BackendFont& font, const std::string& utf8, double x, double top, Colour colour,
                          bool antialias) = 0;

    // Copies width x height pixels from (sourceX, sourceY) of the image to
    // (x, y), unscaled, at the given constant alpha.
    virtual void drawImage(BackendImage& image, int x, int y, int width, int height, int sourceX, int sourceY,
                           std::uint8_t alpha) = 0;
};

// Fonts and images, which exist outside a paint.
class GraphicsPlatform {
public:
    virtual ~GraphicsPlatform() = default;
    // Null when the face cannot be found.
    virtual std::unique_ptr<BackendFont> createFont(const std::string& face, double sizePixels, int style) = 0;
    virtual std::shared_ptr<BackendImage> decodeImage(const unsigned char* bytes, std::size_t size) = 0;
    // The library's resource of that number, whose bytes are given; a
    // platform with resource formats of its own may fall back on them.
    virtual std::shared_ptr<BackendImage> decodeResource(int number, const unsigned char* bytes, std::size_t size) {
        (void)number;
        return decodeImage(bytes, size);
    }
    virtual std::shared_ptr<BackendImage> loadImageFile(const std::string& path) = 0;
};

// The installed platform, or one that can make nothing.
GraphicsPlatform& graphicsPlatform();
void installGraphicsPlatform(GraphicsPlatform* platform);

// Strict UTF-8 check: text that fails it is drawn as empty text.
bool isValidUtf8(const std::string& text);

}  // namespace gfx
