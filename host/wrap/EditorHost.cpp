#include "host/wrap/EditorHost.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "editor/CVeSTEditor.h"
#include "host/CVeST.h"
#include "host/wrap/WrappedEffect.h"
#include "runtime/TPlexa.h"
#include "runtime/platform/Platform.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace wrap {

namespace {

bool sameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

std::uint32_t tickMs() { return static_cast<std::uint32_t>(platform::frameClockMs()); }

// Whether a mouse button is down in the interface now (the effect's button
// word: left 1, right 2, middle 64; the rest are keys).
bool buttonDown(const WrappedEffect& effect) {
    const double cap = effect.effect().mouseCap;
    return std::isfinite(cap) && (static_cast<std::int64_t>(cap) & (1 | 2 | 64)) != 0;
}

}  // namespace

// ---------------------------------------------------------------- edits

EditReporter::EditReporter(WrappedEffect& effect)
    : effect(effect), atStart(effect.parameters(), 0.0), made(effect.parameters(), 0.0),
      changed(effect.parameters(), 0), moved(effect.parameters(), 0), inGesture(effect.parameters(), 0) {}

void EditReporter::frameStarts() {
    for (std::uint32_t p = 0; p < atStart.size(); ++p) atStart[p] = effect.value(p);
}

void EditReporter::frameEnded() {
    for (std::uint32_t p = 0; p < atStart.size(); ++p) {
        const double now = effect.value(p);
        if (sameBits(now, atStart[p])) continue;
        changed[p] = 1;
        made[p] = now;
    }
}

void EditReporter::forget() { std::fill(changed.begin(), changed.end(), 0); }

bool EditReporter::report(Listener& listener) {
    const bool held = buttonDown(effect);
    std::size_t count = 0;
    bool open = false;
    for (std::uint32_t p = 0; p < changed.size(); ++p) {
        open = open || inGesture[p];
        // Asked every time, so a host change is never carried over to a later edit.
        const bool byHost = listener.changedByHost(p);
        // The host set it after the frame did, or it may have: its value stands.
        moved[p] = changed[p] && !byHost && sameBits(effect.value(p), made[p]);
        changed[p] = 0;
        if (moved[p]) ++count;
    }
    if (count > 1 && !open && !grouped) {
        grouped = true;
        listener.beginGroup();
    }
    for (std::uint32_t p = 0; p < moved.size(); ++p) {
        if (!moved[p]) continue;
        if (!inGesture[p]) listener.beginEdit(p);
        inGesture[p] = 1;
        listener.performEdit(p, made[p], effect.normalized(p));
    }
    bool reported = count > 0;
    if (!held) reported |= finish(listener);
    return reported;
}

bool EditReporter::finish(Listener& listener) {
    bool ended = false;
    for (std::uint32_t p = 0; p < inGesture.size(); ++p)
        if (inGesture[p]) {
            inGesture[p] = 0;
            listener.endEdit(p);
            ended = true;
        }
    if (grouped) {
        grouped = false;
        listener.endGroup();
    }
    return ended;
}

// ---------------------------------------------------------------- the window timer (Windows)

#if defined(_WIN32)
namespace {
constexpr const char* kHostProperty = "TonarvoEditorHost";
constexpr UINT_PTR kTimerId = 0x70A3;
}  // namespace

struct WindowTimer {
    static void CALLBACK tick(HWND window, UINT, UINT_PTR, DWORD) {
        if (auto* host = static_cast<EditorHost*>(GetPropA(window, kHostProperty))) host->idleOnce();
    }
};
#endif

bool EditorHost::startTimer() {
#if defined(_WIN32)
    // The host's message loop runs the editor: a timer on its own window,
    // which finds this host through a property of the window.
    const auto window = reinterpret_cast<HWND>(this->window());
    if (window == nullptr || !SetPropA(window, kHostProperty, this)) return false;
    if (SetTimer(window, kTimerId, kIdleMilliseconds, &WindowTimer::tick) == 0) {
        RemovePropA(window, kHostProperty);
        return false;
    }
    timerWindow = reinterpret_cast<std::uintptr_t>(window);
    return true;
#else
    return owner->startTimer(kIdleMilliseconds);
#endif
}

void EditorHost::stopTimer() {
#if defined(_WIN32)
    // A host that destroyed its window first took ours, timer and all.
    const auto window = reinterpret_cast<HWND>(timerWindow);
    if (window && IsWindow(window)) {
        KillTimer(window, kTimerId);
        RemovePropA(window, kHostProperty);
    }
    timerWindow = 0;
#else
    owner->stopTimer();
#endif
}

// ---------------------------------------------------------------- the host

EditorHost::EditorHost(WrappedEffect& effect) : effect(effect), edits(effect) { editor().setFrameObserver(&edits); }

EditorHost::~EditorHost() {
    if (Face* face = owner) {
        shut(false);
        face->editorLost();
    }
    editor().setFrameObserver(nullptr);
}

CVeSTEditor& EditorHost::editor() const { return *static_cast<CVeSTEditor*>(effect.adapter().getEditor()); }

bool EditorHost::isOpen() const { return editor().isOpen(); }

std::uintptr_t EditorHost::window() const { return editor().nativeWindow(); }

bool EditorHost::open(Face& face, EditReporter::Listener& edited, void* parent) {
    if (owner && owner != &face) {
        // Another face's host loses the editor; its gestures end first.
        Face* previous = owner;
        close(*previous);
        previous->editorLost();
    }
    // Hosts open twice without closing in between: the old window goes first.
    if (owner) shut(true);
    if (parent == nullptr || !editor().open(parent)) return false;
    owner = &face;
    listener = &edited;
    edits.forget();
    refused = false;
    if (shown && !run(true)) {
        shut(false);
        return false;
    }
    // The screen under the parent may want another size than the one the
    // host was told while the editor was closed.
    settle(false);
    return owner == &face;
}

void EditorHost::close(Face& face, bool reportEdits) {
    if (!owns(face)) return;
    shut(reportEdits);
    shown = true;
}

void EditorHost::shut(bool reportEdits) {
    if (reportEdits) report(false);
    run(false);
    closeWindow();
    owner = nullptr;
    listener = nullptr;
}

bool EditorHost::show(Face& face, bool on) {
    if (owner && !owns(face)) return false;
    shown = on;
    if (!owner || !isOpen()) return true;
    if (!on) report(false);
    return run(on) == on;
}

void EditorHost::idle(Face& face) {
    if (owns(face)) idleOnce();
}

void EditorHost::finishEdits(EditReporter::Listener& edited) {
    if (listener == &edited) report(false);
}

void EditorHost::idleOnce() {
    if (!owner || !running) return;
    editor().idle();
    if (!owner) return;
    report(true);
    settle(true);
}

void EditorHost::report(bool keep) {
    if (!owner || !listener) return;
    Face* face = owner;
    bool reported = edits.report(*listener);
    if (!keep) reported |= edits.finish(*listener);
    if (reported) face->editsReported();
}

bool EditorHost::run(bool on) {
    if (on == running) return running;
    if (on) {
        if (!startTimer()) return false;
        running = true;
        const int fd = editor().eventDescriptor();
        if (fd >= 0 && owner->watchDescriptor(fd)) watched = fd;
        return true;
    }
    if (watched >= 0) owner->unwatchDescriptor(watched);
    watched = -1;
    stopTimer();
    running = false;
    return false;
}

void EditorHost::closeWindow() {
    edits.forget();
    editor().close();
}

editor_scale::Size EditorHost::size(Face& face) {
    face.told = editor().size();
    return face.told;
}

bool EditorHost::setScale(Face& face, double scale) {
    const bool accepted = editor().setScale(scale);
    if (owns(face)) settle(false);
    return accepted;
}

editor_scale::Size EditorHost::fit(double width, double height) const { return editor().fit(width, height); }

editor_scale::Size EditorHost::layout() const { return {editor().width, editor().height}; }

bool EditorHost::setSize(Face& face, double width, double height) {
    const editor_scale::Size fitted = fit(width, height);
    // What the host's window is now; told the fitted size at the next idle
    // when that differs (never from inside its own call).
    face.told = {static_cast<int>(std::fmin(std::fmax(width, 0.0), 1e9)),
                 static_cast<int>(std::fmin(std::fmax(height, 0.0), 1e9))};
    editor().resizeTo(width, height);
    return face.told == fitted;
}

void EditorHost::settle(bool retrying) {
    if (!owner || !isOpen() || asking) return;
    const editor_scale::Size now = editor().size();
    if (now == owner->told) return;
    if (retrying && refused && static_cast<std::int32_t>(tickMs() - refusedAt) < static_cast<std::int32_t>(kRetryMilliseconds))
        return;
    // The host may answer with a size of its own from inside the request.
    asking = true;
    Face* face = owner;
    const bool accepted =
        face->requestSize(static_cast<std::uint32_t>(now.width), static_cast<std::uint32_t>(now.height));
    asking = false;
    refused = !accepted;
    if (accepted)
        face->told = now;
    else
        refusedAt = tickMs();
}

}  // namespace wrap
