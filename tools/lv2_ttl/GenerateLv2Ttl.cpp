// lv2-ttl BUNDLE_DIR BINARY: writes the LV2 bundle's manifest.ttl and
// tonarvo.ttl from an instance made exactly as the LV2 library makes one, and
// presets.ttl from the factory presets' table.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "effect/TonarvoLv2.h"
#include "effect/TonarvoPlugin.h"
#include "effect/TonarvoPresets.h"
#include "host/lv2/Lv2Description.h"

namespace {

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lv2-ttl BUNDLE_DIR BINARY\n");
        return 2;
    }
    const std::string bundle = argv[1];
    // The rate only matters for processing, which this never does.
    std::unique_ptr<lv2face::Plugin> plugin(
        lv2face::Plugin::create(tonarvo::pluginDescription(), tonarvo::kLv2PluginUri, 48000.0, nullptr));
    if (!plugin) {
        std::fprintf(stderr, "lv2-ttl: the plug-in could not be made\n");
        return 1;
    }
    lv2face::BundleNames names;
    names.pluginUri = tonarvo::kLv2PluginUri;
    names.uiUri = tonarvo::kLv2UiUri;
    names.binary = argv[2];
    names.description = "tonarvo.ttl";
    names.controlSymbols.assign(std::begin(tonarvo::kLv2ControlSymbols), std::end(tonarvo::kLv2ControlSymbols));
    names.minorVersion = TONARVO_LV2_MINOR_VERSION;
    names.microVersion = TONARVO_LV2_MICRO_VERSION;
    names.presetFile = "presets.ttl";
    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets())
        names.presets.push_back({std::string(tonarvo::kLv2PluginUri) + "#preset-" + preset.key, preset.name,
                                 preset.description, {std::begin(preset.values), std::end(preset.values)}});
    if (!writeFile(bundle + "/manifest.ttl", lv2face::manifestTtl(names)) ||
        !writeFile(bundle + "/" + names.description, lv2face::descriptionTtl(*plugin, names)) ||
        !writeFile(bundle + "/" + names.presetFile, lv2face::presetsTtl(names))) {
        std::fprintf(stderr, "lv2-ttl: cannot write into %s\n", bundle.c_str());
        return 1;
    }
    return 0;
}
