// A VST 3 or CLAP plug-in presented as a VST 2.4 AEffect, so that every
// command and the stress battery drive all three faces through the one
// interface they already speak. The adapter plays the other format's host:
// it calls the plug-in only in the states and from the thread roles that
// format allows, and carries VST 2.4's immediate setParameter over to the
// format's own way of handing a value to the audio thread.
//
// Threads. VST 2.4 hosts call the dispatcher and setParameter from any
// thread; VST 3 and CLAP want one UI/main thread. Every call but processing
// is therefore serialised by one lock, which the audio thread never takes,
// and setParameter (automation calls it on the audio thread) takes none.
// The plug-in's audio side (process, and a parameter flush outside
// processing) is kept exclusive by a flag, which a host thread takes only
// when no audio thread is running; so the audio thread never waits in
// practice (at worst for one flush, which takes microseconds).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/vst2_abi.h"

namespace vhost {

// A loaded VST 3 or CLAP module: makes instances until it is destroyed,
// which must not happen before every instance is closed.
class FormatModule {
public:
    virtual ~FormatModule() = default;
    // A new instance as a VST 2.4 effect; ToolError when the plug-in refuses.
    virtual vst2::AEffect* instantiate(vst2::audioMasterCallback host) = 0;
    // The entry point named in `vsthost info`.
    virtual const char* entryName() const = 0;
};

// What the loader found in the file; it resolves the symbols, the modules
// check and call them. Both throw ToolError with the reason on failure.
struct ModuleSymbols {
    void* library = nullptr;
    void* (*find)(void* library, const char* name) = nullptr;
    std::string path;  // the file given (bundle directory or library)
    std::string binary;  // the shared library inside it
};
std::unique_ptr<FormatModule> openVst3Module(const ModuleSymbols& symbols);
std::unique_ptr<FormatModule> openClapModule(const ModuleSymbols& symbols);

// The library inside a VST 3 bundle for this platform, or the path itself
// when it names a file.
std::string vst3Binary(const std::string& path);

// A version text ("1.2.0", "1.2.0.0") as VST 2.4 writes a version: 1200.
std::int32_t versionNumber(const char* text);

class AdaptedEffect {
public:
    virtual ~AdaptedEffect();
    AdaptedEffect(const AdaptedEffect&) = delete;
    AdaptedEffect& operator=(const AdaptedEffect&) = delete;

    vst2::AEffect* effect() { return &effect_; }

protected:
    explicit AdaptedEffect(vst2::audioMasterCallback host);
    // Once, in the derived constructor, before anything else touches parameters.
    void setParameterCount(int count);

    // The format's side, all on the host thread (under the lock) unless said.
    virtual void switchOn(bool on) = 0;  // state is tracked by the base
    // A value VST 2.4's setParameter set, on the host thread before its next
    // call (setParameter itself may come from the audio thread and so takes
    // no lock); the audio side finds it pending as well.
    virtual void hostValue(int index, double normalised) = 0;
    virtual double pluginValue(int index) = 0;
    virtual std::string parameterName(int index) = 0;
    virtual std::string parameterLabel(int index) = 0;
    virtual std::string parameterDisplay(int index) = 0;
    virtual bool automatable(int index) = 0;
    virtual bool saveState(std::vector<std::uint8_t>& out) = 0;
    virtual bool loadState(const std::uint8_t* data, std::size_t size) = 0;
    virtual bool editorSize(int& width, int& height) = 0;
    virtual bool openEditor(void* parent) = 0;
    virtual void closeEditor() = 0;
    virtual void idle() = 0;  // editor idle: the format's timers, descriptors and callbacks
    virtual std::int32_t tailSamples() { return 0; }
    // After every host-thread call: callbacks the plug-in asked for.
    virtual void afterHostCall() {}
    // Hands the pending values over outside processing (gate held, switched on).
    virtual void flushPending() = 0;
    // On the audio thread, gate held, switched on, 0 < frames <= maxBlock().
    virtual void processBlock(float** inputs, float** outputs, int frames) = 0;
    virtual void processBlock(double** inputs, double** outputs, int frames) = 0;

    // What the derived constructor fills in.
    std::string name_, vendor_, product_;
    std::int32_t vendorVersion_ = 0;
    void setChannels(int inputs, int outputs);
    void setFlags(std::int32_t flags) { effect_.flags = flags; }
    void setUniqueId(std::int32_t id) { effect_.uniqueID = id; }
    void setLatency(std::int32_t frames) { effect_.initialDelay = frames; }

    bool switchedOn() const { return on_; }
    // Blocks the audio side has finished, for telling whether one runs.
    std::uint64_t blocksDone() const { return blocksDone_.load(std::memory_order_acquire); }
    double sampleRate() const { return sampleRate_; }
    int maxBlock() const { return maxBlock_; }
    bool doublePrecision() const { return doublePrecision_; }
    int numParams() const { return effect_.numParams; }

    // The VST 2.4 host, for automation and the transport.
    vst2::VstIntPtr callHost(vst2::VstInt32 opcode, vst2::VstInt32 index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f);
    const vst2::VstTimeInfo* hostTime();

    // Values set since the plug-in last took them: audio thread (or a flush)
    // takes each once, newest value wins.
    template <typename F>
    int takePending(F&& each) {
        if (!anyPending_.exchange(false, std::memory_order_acq_rel)) return 0;
        int taken = 0;
        for (int i = 0; i < numParams(); ++i) {
            Pending& slot = pending_[static_cast<std::size_t>(i)];
            if (!slot.forAudio.exchange(false, std::memory_order_acq_rel)) continue;
            each(i, slot.value.load(std::memory_order_relaxed));
            ++taken;
        }
        return taken;
    }
    bool hasPending(int index) const {
        return pending_[static_cast<std::size_t>(index)].forAudio.load(std::memory_order_acquire);
    }
    double pendingValue(int index) const {
        return pending_[static_cast<std::size_t>(index)].value.load(std::memory_order_relaxed);
    }
    // Marks a value for the audio thread; with `forHost` also for the
    // format's host-thread side (hostValue), which an edit made in the
    // plug-in's own editor already knows.
    void queueValue(int index, double normalised, bool forHost = false);

    // Runs f with the plug-in's audio side held, from the host thread.
    template <typename F>
    void withAudioSide(F&& f) {
        while (audioBusy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
        f();
        audioBusy_.clear(std::memory_order_release);
    }
    // Whether getParameter must wait for a pending value to reach the
    // plug-in, which alone knows what it makes of it.
    virtual bool readsAfterTaking() const { return false; }
    // Lock-free: true once a running audio thread has taken every pending
    // value and finished the block; false when none runs (no block for a while).
    bool awaitAudio();
    // Returns once the plug-in has every pending value: taken by a running
    // audio thread's next block, or flushed from this thread when none runs.
    // Before a state save or load, at switch-off, and where a read must see
    // what the plug-in made of a value.
    void settlePending();

    std::recursive_mutex hostLock_;

private:
    static vst2::VstIntPtr dispatchProc(vst2::AEffect* e, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                        vst2::VstIntPtr value, void* ptr, float opt);
    static void setParameterProc(vst2::AEffect* e, vst2::VstInt32 index, float value);
    static float getParameterProc(vst2::AEffect* e, vst2::VstInt32 index);
    static void processProc(vst2::AEffect* e, float** inputs, float** outputs, vst2::VstInt32 frames);
    static void processDoubleProc(vst2::AEffect* e, double** inputs, double** outputs, vst2::VstInt32 frames);

    vst2::VstIntPtr dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value, void* ptr,
                             float opt);
    void setOn(bool on);
    template <typename Sample>
    void process(Sample** inputs, Sample** outputs, int frames);

    struct Pending {
        std::atomic<double> value{0.0};
        std::atomic<bool> forAudio{false};
        std::atomic<bool> forHost{false};
    };
    // On the host thread: values setParameter left for hostValue.
    void syncHost();

    vst2::AEffect effect_{};
    vst2::audioMasterCallback host_;
    std::unique_ptr<Pending[]> pending_;
    std::atomic<bool> anyPending_{false};
    std::atomic<bool> anyForHost_{false};
    std::atomic_flag audioBusy_ = ATOMIC_FLAG_INIT;
    std::atomic<bool> onForAudio_{false};
    std::atomic<std::uint64_t> blocksDone_{0};
    bool on_ = false;
    double sampleRate_ = 44100.0;
    int maxBlock_ = 1024;
    bool doublePrecision_ = false;
    std::vector<std::uint8_t> chunk_;  // what effGetChunk handed out, valid until the next call
    std::vector<std::uint8_t> loading_;
    vst2::ERect rect_{};
    std::vector<float*> floatIn_, floatOut_;
    std::vector<double*> doubleIn_, doubleOut_;
};

}  // namespace vhost
