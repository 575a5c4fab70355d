// A decoded image with the toolkit's extra attributes, reference-counted, and
// the effect runtime's handle that holds one reference to it.
#pragma once

#include <memory>

#include "editor/GraphicsBackend.h"

class CBitmap {
public:
    explicit CBitmap(std::shared_ptr<gfx::BackendImage> image)
        : image(std::move(image)),
          width(this->image ? this->image->width() : 0),
          height(this->image ? this->image->height() : 0) {}

    void remember() { ++references; }
    void forget() {
        if (--references <= 0) delete this;
    }

    const std::shared_ptr<gfx::BackendImage> image;
    const double width;
    const double height;
    gfx::Colour transparentColour{255, 255, 255, 0};
    bool noAlpha = true;

private:
    ~CBitmap() = default;
    int references = 1;
};

struct BitmapHandle {
    CBitmap* bitmap = nullptr;

    BitmapHandle() = default;
    BitmapHandle(const BitmapHandle&) = delete;
    BitmapHandle& operator=(const BitmapHandle&) = delete;
    ~BitmapHandle() { reset(); }

    // Drops the held reference, if any, and takes over `replacement`'s.
    void reset(CBitmap* replacement = nullptr) {
        if (bitmap) bitmap->forget();
        bitmap = replacement;
    }
};
