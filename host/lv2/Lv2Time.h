// Time and transport from an LV2 host, kept as the record a VST 2.4 host
// answers audioMasterGetTime with. LV2 hosts send a time:Position when
// something changes (a locate, a tempo change, play or stop) and leave the
// plug-in to count on from there; VST 2.4 hosts answer with the position at
// the start of each block, so that is what this keeps.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstdint>

#include "host/vst2_abi.h"

namespace lv2face {

class Lv2Time {
public:
    // Without a map the URIDs of a position cannot be known: no time ever.
    void bind(LV2_URID_Map* map, double sampleRate);
    // Takes the positions among a block's events. One that arrives after the
    // block's start is counted back to it, so the record describes frame 0.
    void read(const LV2_Atom_Sequence& events);
    // After a block of this many frames.
    void advance(std::int64_t frames);
    // Null until a position has arrived: the runtime then sees a host
    // without time information.
    const vst2::VstTimeInfo* info() const { return known ? &record : nullptr; }

private:
    void take(const LV2_Atom_Object& position, std::int64_t frame);
    void publish();

    struct Urids {
        LV2_URID position = 0, blank = 0, object = 0, beatTime = 0;
        LV2_URID floatType = 0, doubleType = 0, intType = 0, longType = 0;
        LV2_URID bar = 0, barBeat = 0, beat = 0, beatUnit = 0, beatsPerBar = 0, beatsPerMinute = 0, speed = 0,
                 frame = 0;
    } urid;
    bool bound = false;
    bool known = false;
    double sampleRate = 0.0;
    // As LV2 counts: beats of beatUnit notes; frames since the host's zero.
    double speed = 0.0, beatsPerMinute = 0.0, beatsPerBar = 0.0, beatUnit = 4.0, beat = 0.0, frame = 0.0;
    bool tempoKnown = false, signatureKnown = false, beatKnown = false;
    vst2::VstTimeInfo record{};
};

}  // namespace lv2face
