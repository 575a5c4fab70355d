// Layer holding the link to the host adapter, and the small host services the
// effect calls through it. Every service answers 0/false without an adapter.
#pragma once

#include <cstdint>

#include "runtime/CPlexaMemory.h"

class CVeST;

namespace vst2 {
struct VstMidiEvent;
}

namespace plexa {

class CPlexaVeST : public CPlexaMemory {
public:
    CVeST* adapter = nullptr;  // not owned; stored by the entry point after construction

    std::int32_t hostInputChannels() const;
    std::int32_t hostOutputChannels() const;
    float hostSampleRate() const;     // last effSetSampleRate, 44100 before any
    std::int32_t hostBlockSize() const;  // last effSetBlockSize, 1024 before any
    double hostTempo() const;
    // Writes each place the caller gave; false (places untouched) without time info.
    bool hostTempoAndTimeSig(double* tempo, double* numerator, double* denominator) const;
    int hostTransportPlaying() const;
    int hostTransportRecording() const;
    double hostPpqPosition() const;
    double hostBarStartPosition() const;
    bool hostUpdateDisplay() const;
    bool hostSetInitialDelay(std::int32_t samples) const;
    bool hostRedrawEditor() const;
    void hostMarkAsSynth() const;
    bool hostReportAutomation(std::int32_t index, double normalizedValue) const;
    bool hostSendMidi(std::int32_t deltaFrames, int status, int data1, int data2) const;
    bool hostSendSysex(std::int32_t deltaFrames, const char* bytes, std::int32_t length) const;
    // Next unread record of the adapter's MIDI ring; false when none is waiting.
    bool hostReceiveMidi(vst2::VstMidiEvent* event) const;

protected:
    CPlexaVeST() = default;
    ~CPlexaVeST() = default;
};

}  // namespace plexa
