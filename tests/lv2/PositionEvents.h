// An atom sequence as an LV2 host sends it to a plug-in's time port: empty,
// or one time:Position (tempo, signature, bar and beat, speed) at a frame.
#pragma once

#include <lv2/atom/forge.h>
#include <lv2/time/time.h>

#include <cstdint>

namespace lv2test {

struct Position {
    std::int64_t frame;
    float beatsPerMinute, beatsPerBar;
    std::int32_t beatUnit;
    std::int64_t bar;
    float barBeat, speed;
};

inline void forgeEvents(LV2_URID_Map* map, void* buffer, std::uint32_t size, const Position* position) {
    const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, map);
    lv2_atom_forge_set_buffer(&forge, static_cast<std::uint8_t*>(buffer), size);
    LV2_Atom_Forge_Frame sequence, object;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if (position) {
        lv2_atom_forge_frame_time(&forge, position->frame);
        lv2_atom_forge_object(&forge, &object, 0, id(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, id(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, position->beatsPerMinute);
        lv2_atom_forge_key(&forge, id(LV2_TIME__beatsPerBar));
        lv2_atom_forge_float(&forge, position->beatsPerBar);
        lv2_atom_forge_key(&forge, id(LV2_TIME__beatUnit));
        lv2_atom_forge_int(&forge, position->beatUnit);
        lv2_atom_forge_key(&forge, id(LV2_TIME__bar));
        lv2_atom_forge_long(&forge, position->bar);
        lv2_atom_forge_key(&forge, id(LV2_TIME__barBeat));
        lv2_atom_forge_float(&forge, position->barBeat);
        lv2_atom_forge_key(&forge, id(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, position->speed);
        lv2_atom_forge_pop(&forge, &object);
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

}  // namespace lv2test
