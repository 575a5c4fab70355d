// The bundle's Turtle files, written from a live instance: its ports as the
// adapter numbers them and its controls from the effect's own slider table,
// so the description cannot drift from what the VST 2.4 face shows.
#pragma once

#include <string>
#include <vector>

#include "host/lv2/Lv2Plugin.h"

namespace lv2face {

struct BundleNames {
    std::string pluginUri;
    std::string uiUri;
    std::string binary;       // the library's file name inside the bundle
    std::string description;  // the plug-in's Turtle file inside the bundle
    std::vector<std::string> controlSymbols;  // in parameter order
    int minorVersion = 0;
    int microVersion = 0;
};

std::string manifestTtl(const BundleNames& names);
std::string descriptionTtl(const Plugin& plugin, const BundleNames& names);

}  // namespace lv2face
