// The inspection commands: info, state save and state load.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/vsthost/Options.h"
#include "tools/vsthost/PluginLoader.h"

namespace vhost {

void runInfo(const Options& options, std::FILE* out);
void runStateSave(const Options& options, std::FILE* out);
void runStateLoad(const Options& options, std::FILE* out);

// One line per parameter: index, name, display text with label, normalised value.
void printParameters(Plugin& plugin, std::FILE* out);

// "effFlagsHasEditor | effFlagsCanReplacing", with leftover bits in hex.
std::string describeFlags(std::int32_t flags);

// The unique ID as the four characters it is made of, escaped where not printable.
std::string fourCharText(std::int32_t id);

std::vector<std::uint8_t> readStateFile(const std::string& path);
void writeStateFile(const std::string& path, const std::vector<std::uint8_t>& data);

}  // namespace vhost
