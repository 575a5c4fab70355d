#include "editor/GraphicsBackend.h"

#include <atomic>

namespace gfx {

namespace {

class NoGraphics final : public GraphicsPlatform {
public:
    std::unique_ptr<BackendFont> createFont(const std::string&, double, int) override { return nullptr; }
    std::shared_ptr<BackendImage> decodeImage(const unsigned char*, std::size_t) override { return nullptr; }
    std::shared_ptr<BackendImage> loadImageFile(const std::string&) override { return nullptr; }
};

NoGraphics gNoGraphics;
std::atomic<GraphicsPlatform*> gInstalled{nullptr};

}  // namespace

GraphicsPlatform& graphicsPlatform() {
    GraphicsPlatform* installed = gInstalled.load(std::memory_order_acquire);
    return installed ? *installed : gNoGraphics;
}

void installGraphicsPlatform(GraphicsPlatform* platform) { gInstalled.store(platform, std::memory_order_release); }

bool isValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra;
        std::uint32_t code;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = code << 6 | (p[i] & 0x3F);
        }
        static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        p += extra + 1;
    }
    return true;
}

}  // namespace gfx
