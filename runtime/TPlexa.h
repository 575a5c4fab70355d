// Base of every effect: the section hooks in their fixed order and the bits
// of scheduling the runtime does itself (re-initialisation on resume, the
// init-once counter, the editor frame timer, state chunks).
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/CPlexaMouse.h"

namespace plexa {

class TPlexa : public CPlexaMouse {
public:
    TPlexa();
    virtual ~TPlexa();

    virtual void onOpen();
    virtual void onClose() {}
    virtual void onSuspend() {}
    virtual void onResume();
    virtual void initSection() {}
    virtual std::uint32_t initOnce();
    virtual void gfxSection() {}
    virtual void frameTick();
    virtual void serializeSection() {}
    // Forgets the signal that went through, as a fresh instance has none: a
    // host's reset asks it (formats whose switch-on starts afresh). Runs while
    // switched off; allocates nothing.
    virtual void clearSignalHistory() {}
    // Restores state from a chunk; returns the length it was given.
    virtual std::int32_t readStateChunk(const void* data, std::int32_t length);
    // Saves state; returns the chunk length in bytes (0 for none) and points
    // *data at bytes that stay valid until the next save or restore.
    virtual std::int32_t writeStateChunk(void** data);
    // The same save with other values for some sliders: `sliders` holds one
    // value per slider number (SliderValueCount), NaN where the slider's own
    // value is saved. The effect's values do not change.
    std::int32_t writeStateChunkWith(void** data, const double* sliders);

    // The host's switch-on and switch-off, around onResume and onSuspend.
    void switchOn();
    void switchOff();

    static constexpr float kStateMarker = -1000.0f;

    std::int32_t lastFrameTick = 0;
    std::uint32_t initCount = 0;

protected:
    // The open steps of the runtime itself, without an effect's additions.
    void openRuntime();
    void beginProcessing() override;

private:
    // A switched-on effect may be processing on another thread at any time,
    // so the initialisation a first restore asks for is handed to the audio
    // thread, which runs it before its next block: what a restore between
    // blocks does, without the two threads ever rewriting the same state at
    // once, and without the audio thread waiting for anything.
    std::atomic<bool> switchedOn{false};
    std::atomic<bool> initHandedOver{false};
};

}  // namespace plexa
