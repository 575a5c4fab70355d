// The drawing state of one paint: pen, brushes, font, draw mode, clip and
// pen position over a platform graphics target. Setters remember the last
// value and skip unchanged ones, as the toolkit does, except the font colour.
#pragma once

#include "editor/GraphicsBackend.h"

class CFontDesc;

class CDrawContext {
public:
    // The target must outlive the context. The clip starts as the view.
    CDrawContext(gfx::BackendGraphics* graphics, const gfx::IntRect& viewRect);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    gfx::BackendGraphics* graphics() const { return target; }

    void setFrameColor(gfx::Colour colour);
    gfx::Colour getFrameColor() const { return frameColour; }
    void setFillColor(gfx::Colour colour);
    gfx::Colour getFillColor() const { return fillColour; }
    void setFontColor(gfx::Colour colour);
    gfx::Colour getFontColor() const { return fontColour; }
    void setLineWidth(double width);
    double getLineWidth() const { return lineWidth; }
    void setDrawMode(int mode);
    int getDrawMode() const { return drawMode; }
    void setClipRect(const gfx::IntRect& clip);
    const gfx::IntRect& getClipRect() const { return clip; }

    void moveTo(double x, double y) {
        penX = x;
        penY = y;
    }
    double getPenX() const { return penX; }
    double getPenY() const { return penY; }

    // Takes one reference to the font; drops the one to the previous font.
    void setFont(CFontDesc* font);
    CFontDesc* getFont() const { return font; }

    // How many times the target's anti-aliasing and clip were actually set:
    // the toolkit's skip-unchanged promise, visible to tests.
    int antialiasChanges = 0;

private:
    gfx::BackendGraphics* target;
    gfx::Colour frameColour{255, 255, 255, 255};
    gfx::Colour fillColour{0, 0, 0, 255};
    gfx::Colour fontColour{255, 255, 255, 255};
    double lineWidth = 1.0;
    int drawMode = 0;
    gfx::IntRect clip;
    double penX = 0.0, penY = 0.0;
    CFontDesc* font = nullptr;
};
