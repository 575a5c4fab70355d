#include "host/lv2/Lv2Time.h"

#include <lv2/atom/util.h>
#include <lv2/time/time.h>

#include <cmath>

namespace lv2face {

namespace {

// Hosts write numbers in whichever atom type they like; a non-finite one
// names no time.
bool numberOf(const LV2_Atom* atom, LV2_URID floatType, LV2_URID doubleType, LV2_URID intType, LV2_URID longType,
              double& out) {
    if (atom == nullptr) return false;
    if (atom->type == floatType && atom->size >= sizeof(float))
        out = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == doubleType && atom->size >= sizeof(double))
        out = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else if (atom->type == intType && atom->size >= sizeof(std::int32_t))
        out = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == longType && atom->size >= sizeof(std::int64_t))
        out = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else
        return false;
    return std::isfinite(out);
}

std::int32_t wholeNumber(double x) { return x > -2147483648.0 && x < 2147483647.0 ? static_cast<std::int32_t>(std::lround(x)) : 0; }

}  // namespace

void Lv2Time::bind(LV2_URID_Map* map, double rate) {
    sampleRate = rate;
    if (map == nullptr || map->map == nullptr) return;
    const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    urid.position = id(LV2_TIME__Position);
    urid.blank = id(LV2_ATOM__Blank);
    urid.object = id(LV2_ATOM__Object);
    urid.beatTime = id(LV2_ATOM__beatTime);
    urid.floatType = id(LV2_ATOM__Float);
    urid.doubleType = id(LV2_ATOM__Double);
    urid.intType = id(LV2_ATOM__Int);
    urid.longType = id(LV2_ATOM__Long);
    urid.bar = id(LV2_TIME__bar);
    urid.barBeat = id(LV2_TIME__barBeat);
    urid.beat = id(LV2_TIME__beat);
    urid.beatUnit = id(LV2_TIME__beatUnit);
    urid.beatsPerBar = id(LV2_TIME__beatsPerBar);
    urid.beatsPerMinute = id(LV2_TIME__beatsPerMinute);
    urid.speed = id(LV2_TIME__speed);
    urid.frame = id(LV2_TIME__frame);
    bound = true;
}

void Lv2Time::read(const LV2_Atom_Sequence& events) {
    if (!bound) return;
    const bool inBeats = events.body.unit != 0 && events.body.unit == urid.beatTime;
    const auto* end = reinterpret_cast<const std::uint8_t*>(&events.body) + events.atom.size;
    LV2_ATOM_SEQUENCE_FOREACH(&events, event) {
        const LV2_Atom& body = event->body;
        // An event claiming more than the sequence holds is not read at all.
        if (reinterpret_cast<const std::uint8_t*>(&body + 1) + body.size > end) break;
        if ((body.type != urid.object && body.type != urid.blank) || body.size < sizeof(LV2_Atom_Object_Body)) continue;
        const auto& object = reinterpret_cast<const LV2_Atom_Object&>(body);
        if (object.body.otype != urid.position) continue;
        // A sequence stamped in beats says nothing of frames: take it as the block's start.
        take(object, inBeats ? 0 : event->time.frames);
    }
}

void Lv2Time::take(const LV2_Atom_Object& position, std::int64_t frameOffset) {
    const LV2_Atom *bar = nullptr, *barBeat = nullptr, *beatAtom = nullptr, *unit = nullptr, *perBar = nullptr,
                   *bpm = nullptr, *speedAtom = nullptr, *frameAtom = nullptr;
    lv2_atom_object_get(&position, urid.bar, &bar, urid.barBeat, &barBeat, urid.beat, &beatAtom, urid.beatUnit, &unit,
                        urid.beatsPerBar, &perBar, urid.beatsPerMinute, &bpm, urid.speed, &speedAtom, urid.frame,
                        &frameAtom, 0);
    const auto number = [this](const LV2_Atom* atom, double& out) {
        return numberOf(atom, urid.floatType, urid.doubleType, urid.intType, urid.longType, out);
    };
    double x = 0.0;
    if (number(bpm, x)) {
        beatsPerMinute = x;
        tempoKnown = true;
    }
    if (number(perBar, x) && x > 0) {
        beatsPerBar = x;
        signatureKnown = true;
    }
    if (number(unit, x) && x >= 1) beatUnit = x;
    if (number(speedAtom, x)) speed = x;
    if (number(frameAtom, x)) frame = x;
    double barNumber = 0.0, beatInBar = 0.0;
    if (number(beatAtom, x)) {
        beat = x;
        beatKnown = true;
    } else if (signatureKnown && number(bar, barNumber) && number(barBeat, beatInBar)) {
        beat = barNumber * beatsPerBar + beatInBar;
        beatKnown = true;
    }
    known = true;
    advance(-(frameOffset > 0 ? frameOffset : 0));
}

void Lv2Time::advance(std::int64_t frames) {
    if (!known) return;
    const double beatsPerFrame = sampleRate > 0 ? speed * beatsPerMinute / (60.0 * sampleRate) : 0.0;
    if (std::isfinite(beatsPerFrame)) beat += static_cast<double>(frames) * beatsPerFrame;
    frame += static_cast<double>(frames) * speed;
    publish();
}

void Lv2Time::publish() {
    record = vst2::VstTimeInfo{};
    record.sampleRate = sampleRate;
    record.samplePos = frame;
    record.tempo = beatsPerMinute;
    // VST 2.4 counts in quarter notes, LV2 in beats of the beat unit.
    record.ppqPos = beat * 4.0 / beatUnit;
    if (signatureKnown) {
        record.timeSigNumerator = wholeNumber(beatsPerBar);
        record.timeSigDenominator = wholeNumber(beatUnit);
        record.barStartPos = std::floor(beat / beatsPerBar) * beatsPerBar * 4.0 / beatUnit;
    }
    record.flags = (speed != 0.0 ? vst2::kVstTransportPlaying : 0) | (tempoKnown ? vst2::kVstTempoValid : 0) |
                   (signatureKnown ? vst2::kVstTimeSigValid : 0) | (beatKnown ? vst2::kVstPpqPosValid : 0) |
                   (signatureKnown && beatKnown ? vst2::kVstBarsValid : 0);
}

}  // namespace lv2face
