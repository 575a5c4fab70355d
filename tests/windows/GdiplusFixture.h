// An effect with its adapter, built in-process with the GDI+ backend, and
// paints into offscreen GDI+ bitmaps: the Windows counterpart of the Linux
// drawing and interface fixtures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "../support/PixelProbes.h"
#include "editor/GraphicsBackend.h"
#include "editor/gdiplus/GdiplusGraphics.h"
#include "editor/gdiplus/OffscreenPaint.h"
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"

namespace gdiplus_test {

inline vst2::VstIntPtr quietHost(vst2::AEffect*, std::int32_t opcode, std::int32_t, vst2::VstIntPtr, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

using namespace pixel_probes;

class GdiplusTest : public testing::Test {
protected:
    void SetUp() override {
        gfx::installGraphicsPlatform(&gfx::gdiplusGraphicsPlatform());
        descriptor = vsthost::createPluginInstance<TPlexaEffect>(&quietHost);
        ASSERT_NE(descriptor, nullptr);
        adapter = static_cast<CVeST*>(descriptor->object);
        effect = static_cast<TPlexaEffect*>(adapter->effect);
        descriptor->dispatcher(descriptor, vst2::effOpen, 0, 0, nullptr, 0);
    }
    void TearDown() override {
        paint.reset();  // the paint refers to the adapter, which goes next
        if (descriptor) descriptor->dispatcher(descriptor, vst2::effClose, 0, 0, nullptr, 0);
    }

    OffscreenPaint& newPaint(int width, int height,
                             OffscreenPaint::Background background = OffscreenPaint::Background::Transparent) {
        paint.reset();
        paint = std::make_unique<OffscreenPaint>(adapter, width, height, background);
        return *paint;
    }

    vst2::AEffect* descriptor = nullptr;
    CVeST* adapter = nullptr;
    TPlexaEffect* effect = nullptr;
    std::unique_ptr<OffscreenPaint> paint;
};

}  // namespace gdiplus_test
