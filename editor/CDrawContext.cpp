#include "editor/CDrawContext.h"

#include "editor/CFontDesc.h"

CDrawContext::CDrawContext(gfx::BackendGraphics* graphics, const gfx::IntRect& viewRect)
    : target(graphics), clip(viewRect) {
    if (target) {
        target->setAntialias(false);
        target->setClip(clip);
    }
    // The toolkit's standard font until the effect selects one.
    font = new CFontDesc("Arial", 12, 0);
}

CDrawContext::~CDrawContext() {
    if (font) font->forget();
}

void CDrawContext::setFrameColor(gfx::Colour colour) { frameColour = colour; }
void CDrawContext::setFillColor(gfx::Colour colour) { fillColour = colour; }
void CDrawContext::setFontColor(gfx::Colour colour) { fontColour = colour; }
void CDrawContext::setLineWidth(double width) { lineWidth = width; }

void CDrawContext::setDrawMode(int mode) {
    if (mode == drawMode) return;
    drawMode = mode;
    if (target) target->setAntialias(mode == 3);
    ++antialiasChanges;
}

void CDrawContext::setClipRect(const gfx::IntRect& newClip) {
    if (newClip == clip) return;
    clip = newClip;
    if (target) target->setClip(clip);
}

void CDrawContext::setFont(CFontDesc* newFont) {
    if (newFont) newFont->remember();
    if (font) font->forget();
    font = newFont;
}
