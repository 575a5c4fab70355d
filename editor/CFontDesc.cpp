#include "editor/CFontDesc.h"

gfx::BackendFont* CFontDesc::platformFont() {
    if (!attempted) {
        attempted = true;
        font = gfx::graphicsPlatform().createFont(face, size, style);
    }
    return font.get();
}
