// lv2-ttl BUNDLE_DIR BINARY: writes the LV2 bundle's manifest.ttl and
// tonarvo.ttl from an instance made exactly as the LV2 library makes one, and
// presets.ttl from the factory presets' table.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "effect/TonarvoLv2.h"
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
    std::unique_ptr<lv2host::Lv2Plugin> plugin(
        lv2host::Lv2Plugin::create(&tonarvo::lv2::newInstance, tonarvo::lv2::kPluginUri, 48000.0, nullptr));
    if (!plugin) {
        std::fprintf(stderr, "lv2-ttl: the plug-in could not be made\n");
        return 1;
    }
    lv2host::BundleNames names;
    names.pluginUri = tonarvo::lv2::kPluginUri;
    names.uiUri = tonarvo::lv2::kUiUri;
    names.binary = argv[2];
    names.description = "tonarvo.ttl";
    names.controlSymbols.assign(std::begin(tonarvo::lv2::kControlSymbols), std::end(tonarvo::lv2::kControlSymbols));
    names.minorVersion = TONARVO_LV2_MINOR_VERSION;
    names.microVersion = TONARVO_LV2_MICRO_VERSION;
    names.presetFile = "presets.ttl";
    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets())
        names.presets.push_back({std::string(tonarvo::lv2::kPluginUri) + "#preset-" + preset.key, preset.name,
                                 preset.description, {std::begin(preset.values), std::end(preset.values)}});
    if (!writeFile(bundle + "/manifest.ttl", lv2host::manifestTtl(names)) ||
        !writeFile(bundle + "/" + names.description, lv2host::descriptionTtl(*plugin, names)) ||
        !writeFile(bundle + "/" + names.presetFile, lv2host::presetsTtl(names))) {
        std::fprintf(stderr, "lv2-ttl: cannot write into %s\n", bundle.c_str());
        return 1;
    }
    return 0;
}
