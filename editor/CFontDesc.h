// A font description: face, pixel size and style, with the platform font made
// the first time something is drawn or measured with it. Reference-counted:
// the adapter's font list holds one reference, each drawing context using it
// another.
#pragma once

#include <memory>
#include <string>

#include "editor/GraphicsBackend.h"

class CFontDesc {
public:
    CFontDesc(std::string face, double size, int style) : face(std::move(face)), size(size), style(style) {}

    void remember() { ++references; }
    // Drops one reference; the last one destroys the description.
    void forget() {
        if (--references <= 0) delete this;
    }
    int referenceCount() const { return references; }

    // The platform font, made on first use; null when the face cannot be found
    // (tried once).
    gfx::BackendFont* platformFont();

    const std::string face;
    const double size;
    const int style;

private:
    ~CFontDesc() = default;

    int references = 1;
    bool attempted = false;
    std::unique_ptr<gfx::BackendFont> font;
};
