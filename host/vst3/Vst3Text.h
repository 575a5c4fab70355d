// VST 3 strings are UTF-16; the effect's are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vst3 {

// Copies as much of `text` as fits with its terminator.
inline void toUtf16(const char* text, char16_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    std::size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*s && n + 1 < capacity) {
        std::uint32_t c = *s++;
        int more = 0;
        if (c >= 0xF0) {
            c &= 0x07;
            more = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            more = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            more = 1;
        } else if (c >= 0x80) {
            c = 0xFFFD;  // a stray continuation byte
        }
        for (; more > 0 && (*s & 0xC0) == 0x80; --more) c = (c << 6) | (*s++ & 0x3F);
        if (more > 0) c = 0xFFFD;
        if (c >= 0x10000) {
            if (n + 2 >= capacity) break;
            c -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
    }
    out[n] = 0;
}

// Reads at most `capacity` units, stopping at a terminator.
inline std::string fromUtf16(const char16_t* text, std::size_t capacity) {
    std::string out;
    if (text == nullptr) return out;
    for (std::size_t k = 0; k < capacity && text[k] != 0; ++k) {
        std::uint32_t c = text[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < capacity && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace vst3
