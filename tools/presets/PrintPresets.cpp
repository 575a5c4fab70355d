// tonarvo-presets: prints the factory presets' table, one line each, for the
// scripts that measure or drive them (the manual's pictures, the Ardour
// sessions): key, name and the six values in the sliders' units, separated
// by '|'. The values print exactly (the shortest text that reads back).
#include <charconv>
#include <cstdio>

#include "effect/TonarvoPresets.h"

int main() {
    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets()) {
        std::printf("%s|%s", preset.key, preset.name);
        for (const double v : preset.values) {
            char text[32];
            *std::to_chars(text, text + sizeof text - 1, v).ptr = '\0';
            std::printf("|%s", text);
        }
        std::printf("\n");
    }
    return 0;
}
