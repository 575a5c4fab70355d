// An effect with its adapter, built in-process, and paints into offscreen
// images on this platform's backend (Cairo on Linux, GDI+ on Windows): the
// same probes hold for both.
#pragma once

#include <gtest/gtest.h>

#include "../support/PixelProbes.h"
#include "editor/GraphicsBackend.h"
#if defined(_WIN32)
#include "editor/gdiplus/GdiplusGraphics.h"
#include "editor/gdiplus/OffscreenPaint.h"
#else
#include "editor/cairo/CairoGraphics.h"
#include "editor/cairo/OffscreenPaint.h"
#endif
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"

namespace drawing_test {

inline vst2::VstIntPtr quietHost(vst2::AEffect*, std::int32_t opcode, std::int32_t, vst2::VstIntPtr, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

using namespace pixel_probes;

class DrawingTest : public testing::Test {
protected:
    void SetUp() override {
#if defined(_WIN32)
        gfx::installGraphicsPlatform(&gfx::gdiplusGraphicsPlatform());
#else
        gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
#endif
        descriptor = vsthost::createPluginInstance<TPlexaEffect>(&quietHost);
        ASSERT_NE(descriptor, nullptr);
        adapter = static_cast<CVeST*>(descriptor->object);
        effect = static_cast<TPlexaEffect*>(adapter->effect);
        descriptor->dispatcher(descriptor, vst2::effOpen, 0, 0, nullptr, 0);
    }
    void TearDown() override {
        if (descriptor) descriptor->dispatcher(descriptor, vst2::effClose, 0, 0, nullptr, 0);
    }

    vst2::AEffect* descriptor = nullptr;
    CVeST* adapter = nullptr;
    TPlexaEffect* effect = nullptr;
};

}  // namespace drawing_test
