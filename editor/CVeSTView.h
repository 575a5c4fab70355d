// The editor's single view, covering the whole window. It draws nothing of
// its own: a paint lends the window's drawing context to the adapter while
// the effect's frame section runs, and mouse and key events go to the
// adapter's callback table.
#pragma once

#include <cstdint>

#include "editor/EditorWindow.h"

class CVeST;

// Told of each frame the effect's interface section runs: every change the
// interface makes to a slider happens inside one.
class FrameObserver {
public:
    virtual void frameStarts() = 0;
    virtual void frameEnded() = 0;

protected:
    ~FrameObserver() = default;
};

class CVeSTView final : public EditorWindowClient {
public:
    CVeSTView(CVeST* adapter, double width, double height);
    ~CVeSTView() override;
    CVeSTView(const CVeSTView&) = delete;
    CVeSTView& operator=(const CVeSTView&) = delete;

    void draw(CDrawContext& context) override;
    // Every event counts as handled, with or without a callback, so a press
    // keeps the pointer captured until its release.
    bool onMouseDown(double x, double y, std::int32_t buttons) override;
    bool onMouseUp(double x, double y, std::int32_t buttons) override;
    bool onMouseMoved(double x, double y, std::int32_t buttons) override;
    bool onKeyDown(vst2::VstKeyCode& key) override;
    bool onKeyUp(vst2::VstKeyCode& key) override;

    CVeST* adapter;
    FrameObserver* observer = nullptr;
    double left = 0.0, top = 0.0, right, bottom;
};
