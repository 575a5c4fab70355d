// The effect's editor as every wrapped face (VST 3, CLAP, LV2) shows it: one
// host for it in the core, so the faces differ only in how their host hears
// and runs it. Here, once for all of them: when the editor idles and what
// runs the idle (the host's timer and the window system's descriptor through
// the face, or on Windows a window timer of the editor's own), the edits its
// frames make (reported as begin / value / end), its size (what the host was
// last told, asked again when refused) and its scale (the host's, the user's
// or the screen's, accepted or refused in one place).
//
// Every call comes on the host's main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/CVeSTView.h"
#include "editor/EditorScale.h"

class CVeSTEditor;

namespace wrap {

class WrappedEffect;

// What the editor's frames changed, reported as a format's edits: a change
// while a button is held opens a gesture for the parameter (begin, then a
// value for each idle that saw it change), released buttons close every open
// gesture; a change seen with no button held (a quick click a frame saw
// once) is begun, reported and ended at once. Gestures of several parameters
// opened at once form a group.
//
// A change counts as the editor's when a frame of the interface made it:
// wherever that frame ran (Win32 hosts paint the editor from their own
// message loop, outside its idle), and never a value the host set between
// frames. A host write that may have landed inside a frame (from its audio
// thread) is ruled out by the listener's changedByHost.
class EditReporter final : public FrameObserver {
public:
    struct Listener {
        virtual void beginEdit(std::uint32_t p) = 0;
        virtual void performEdit(std::uint32_t p, double units, double normalised) = 0;
        virtual void endEdit(std::uint32_t p) = 0;
        // Since the previous report, the host set p (asked for every
        // parameter at every report).
        virtual bool changedByHost(std::uint32_t) { return false; }
        // Around the gestures of several parameters one action opened at
        // once (the logo's reset): a host that groups edits undoes them in
        // one step.
        virtual void beginGroup() {}
        virtual void endGroup() {}

    protected:
        ~Listener() = default;
    };
    explicit EditReporter(WrappedEffect& effect);

    // Reports what the frames changed since the last report; true when
    // anything was reported.
    bool report(Listener& listener);
    // Ends the gestures still open; true when any was.
    bool finish(Listener& listener);
    // What the frames changed so far is nobody's to report.
    void forget();

    void frameStarts() override;
    void frameEnded() override;

private:
    WrappedEffect& effect;
    std::vector<double> atStart, made;
    std::vector<char> changed, moved, inGesture;
    bool grouped = false;
};

class EditorHost {
public:
    // The editor's idle period on every face and platform. The interface
    // draws at most 30 frames a second: a 20 ms tick starts a due frame
    // within 20 ms, and answers the pointer quickly where no descriptor
    // wakes the host.
    static constexpr std::uint32_t kIdleMilliseconds = 20;
    // A host that refused a new size is asked again after this long.
    static constexpr std::uint32_t kRetryMilliseconds = 1000;

    // What a face's host does for the editor.
    class Face {
    public:
        // The host's timer calling idle(*this) about every `milliseconds`;
        // false when there is none, and nothing could run the editor. Not
        // asked on Windows, where a window timer of the editor's own runs in
        // the host's message loop.
        virtual bool startTimer(std::uint32_t milliseconds) = 0;
        virtual void stopTimer() = 0;
        // The host's loop calling idle(*this) when `fd` is readable (the X
        // connection); false when it cannot, and the timer pumps alone.
        virtual bool watchDescriptor(int fd) {
            (void)fd;
            return false;
        }
        virtual void unwatchDescriptor(int fd) { (void)fd; }
        // Tells the host the editor's size in device pixels; false when it
        // refused (asked again later). A host with no way to hear it: true.
        virtual bool requestSize(std::uint32_t width, std::uint32_t height) = 0;
        // An idle, hide or close has just reported edits to the listener.
        virtual void editsReported() {}
        // The editor went to another face, or the effect is going: nothing
        // of this face is called again until it opens the editor anew.
        virtual void editorLost() {}

    protected:
        ~Face() = default;

    private:
        friend class EditorHost;
        // The size this face's host was last told, or told us.
        editor_scale::Size told;
    };

    explicit EditorHost(WrappedEffect& effect);
    // With the effect: the editor closes, its face hears editorLost, and no
    // edit is reported (the host is destroying the plug-in).
    ~EditorHost();
    EditorHost(const EditorHost&) = delete;
    EditorHost& operator=(const EditorHost&) = delete;

    // The editor in `parent` (an X11 window id or an HWND) for `face`, whose
    // edits go to `listener`. A second open replaces the first; an editor
    // another face had is taken from it. False when the window cannot be made
    // or nothing would run it.
    bool open(Face& face, EditReporter::Listener& listener, void* parent);
    // The face's editor closes: gestures end, the timer and descriptor go.
    // Harmless when the face has none. Without `reportEdits` (the host is
    // destroying the plug-in) the listener hears nothing.
    void close(Face& face, bool reportEdits = true);
    // Hidden, the editor neither idles nor watches its descriptor (and open
    // gestures end); shown, both resume. Remembered for an open to come,
    // until the next close. True when the editor runs (or will at its open).
    bool show(Face& face, bool shown);
    // One idle: the window's events and a frame when due, the edits, and
    // the host told of a size it does not know.
    void idle(Face& face);
    // The listener's host is going away (a VST 3 host replacing its handler):
    // what the frames changed is reported and the open gestures end, on it,
    // now. Nothing when the editor reports elsewhere.
    void finishEdits(EditReporter::Listener& listener);
    bool owns(const Face& face) const { return owner == &face; }
    bool isOpen() const;
    // The open window's platform id; 0 when closed.
    std::uintptr_t window() const;

    // The editor's size in device pixels, now counted as told to the face's
    // host. While closed it is measured without a display connection.
    editor_scale::Size size(Face& face);
    // The host's scale; true when the editor draws at it now. Refused (false):
    // no scale from 1 to 4 (the value is then withdrawn and the next source
    // decides), or the user's own choice or setting comes first.
    bool setScale(Face& face, double scale);
    // The nearest size the editor can take: its layout's ratio, a scale from
    // 1 to 4.
    editor_scale::Size fit(double width, double height) const;
    // The layout's own size, whose ratio every size keeps.
    editor_scale::Size layout() const;
    // The host gives the editor a size (the user resized its window, or it
    // remembered one): the editor takes the nearest that fits, as the user's
    // choice. True when that is the size given; the host is told otherwise at
    // the next idle.
    bool setSize(Face& face, double width, double height);

private:
    CVeSTEditor& editor() const;
    bool run(bool on);
    bool startTimer();
    void stopTimer();
    // Reports the frames' edits (and ends the gestures unless `keep`).
    void report(bool keep);
    void closeWindow();
    // The owner's editor goes: edits reported (unless not), idle stopped,
    // window closed, no owner.
    void shut(bool reportEdits);
    // The owner's host hears the editor's size when it knows another one.
    void settle(bool retrying);
    void idleOnce();
    friend struct WindowTimer;  // Windows: runs idleOnce from the editor's window timer
    std::uintptr_t timerWindow = 0;

    WrappedEffect& effect;
    EditReporter edits;
    Face* owner = nullptr;
    EditReporter::Listener* listener = nullptr;
    bool shown = true, running = false, asking = false, refused = false;
    int watched = -1;
    std::uint32_t refusedAt = 0;
};

}  // namespace wrap
