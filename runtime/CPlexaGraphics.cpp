#include "runtime/CPlexaGraphics.h"

#include "editor/GfxPrimitives.h"
#include "runtime/ModulePath.h"
#include "runtime/Trace.h"

namespace plexa {

CPlexaGraphics::~CPlexaGraphics() {
    for (auto& [handle, slot] : imageSlots) gfxBitmapFree(adapter, slot.bitmap);
}

ImageSlot& CPlexaGraphics::imageAt(std::int32_t handle) {
    ImageSlot& slot = imageSlots[handle];
    if (slot.bitmap) return slot;  // loaded, or tried and failed: never twice
    const auto name = imageNames.find(handle);
    if (name == imageNames.end()) return slot;

    slot.width = slot.height = 0;
    slot.bitmap = gfxBitmapNew(adapter);
    if (gfxBitmapLoadResource(adapter, slot.bitmap, handle)) {
        slot.width = gfxBitmapWidth(adapter, slot.bitmap);
        slot.height = gfxBitmapHeight(adapter, slot.bitmap);
        return slot;
    }
    gfxBitmapFree(adapter, slot.bitmap);
    slot.bitmap = gfxBitmapNew(adapter);
    const std::string path = resolvePath(name->second);
    if (gfxBitmapLoadFile(adapter, slot.bitmap, path.c_str())) {
        slot.width = gfxBitmapWidth(adapter, slot.bitmap);
        slot.height = gfxBitmapHeight(adapter, slot.bitmap);
        return slot;
    }
    traceMessage("Unable to load: " + path);
    return slot;
}

}  // namespace plexa
