#include "tools/vsthost/Commands.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "tools/vsthost/Errors.h"
#include "tools/vsthost/HostCallback.h"
#include "tools/vsthost/Session.h"

namespace vhost {

namespace {

// What a host sets before it asks anything of substance: a scanner would
// leave both at 0, but then some plug-ins show nonsense parameter texts.
constexpr float kInspectSampleRate = 44100.0f;
constexpr int kInspectBlockSize = 512;

std::unique_ptr<Plugin> openForInspection(const Options& options, HostContext& host) {
    host.verbose = options.verbose;
    auto plugin = Plugin::load(options.positional.at(0), hostCallback);
    plugin->open();
    host.sampleRate = kInspectSampleRate;
    host.blockSize = kInspectBlockSize;
    host.transport.setSampleRate(kInspectSampleRate);
    plugin->setSampleRate(kInspectSampleRate);
    plugin->setBlockSize(kInspectBlockSize);
    return plugin;
}

void requireChunks(Plugin& plugin) {
    if (!plugin.hasFlag(vst2::effFlagsProgramChunks))
        throw ToolError("plug-in does not exchange its state as a chunk (no effFlagsProgramChunks)");
}

}  // namespace

std::string describeFlags(std::int32_t flags) {
    struct Named {
        std::int32_t bit;
        const char* name;
    };
    static constexpr Named kFlags[] = {
        {vst2::effFlagsHasEditor, "effFlagsHasEditor"},
        {vst2::effFlagsHasClip, "effFlagsHasClip"},
        {vst2::effFlagsHasVu, "effFlagsHasVu"},
        {vst2::effFlagsCanMono, "effFlagsCanMono"},
        {vst2::effFlagsCanReplacing, "effFlagsCanReplacing"},
        {vst2::effFlagsProgramChunks, "effFlagsProgramChunks"},
        {vst2::effFlagsIsSynth, "effFlagsIsSynth"},
        {vst2::effFlagsNoSoundInStop, "effFlagsNoSoundInStop"},
        {vst2::effFlagsExtIsAsync, "effFlagsExtIsAsync"},
        {vst2::effFlagsExtHasBuffer, "effFlagsExtHasBuffer"},
        {vst2::effFlagsCanDoubleReplacing, "effFlagsCanDoubleReplacing"},
    };
    std::string text;
    auto rest = static_cast<std::uint32_t>(flags);
    for (const Named& flag : kFlags) {
        if ((rest & static_cast<std::uint32_t>(flag.bit)) == 0) continue;
        if (!text.empty()) text += " | ";
        text += flag.name;
        rest &= ~static_cast<std::uint32_t>(flag.bit);
    }
    if (rest != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", rest);
        if (!text.empty()) text += " | ";
        text += hex;
    }
    return text.empty() ? "none" : text;
}

std::string fourCharText(std::int32_t id) {
    std::string text;
    const auto bits = static_cast<std::uint32_t>(id);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((bits >> shift) & 0xFFu);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

std::vector<std::uint8_t> readStateFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw ToolError("cannot read state '" + path + "': no such file");
    if (std::filesystem::is_directory(path, ec)) throw ToolError("cannot read state '" + path + "': is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot read state '" + path + "'");
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError("error reading state '" + path + "'");
    if (data.empty()) throw ToolError("state file '" + path + "' is empty");
    return data;
}

void writeStateFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw ToolError("cannot write state '" + path + "'");
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) throw ToolError("error writing state '" + path + "'");
}

void printParameters(Plugin& plugin, std::FILE* out) {
    std::fprintf(out, "Parameters:     %d\n", plugin.numParams());
    if (plugin.numParams() > 0) std::fprintf(out, "  %3s  %-16s  %-10s  %s\n", "#", "display", "normalised", "name");
    for (int i = 0; i < plugin.numParams(); ++i) {
        const std::string shown = shownValue(plugin, i);
        // Names can be long (60 characters and more), so they go last.
        std::fprintf(out, "  %3d  %-16s  %-10.6f  %s\n", i, shown.c_str(), static_cast<double>(plugin.getParameter(i)),
                     plugin.paramName(i).c_str());
    }
}

void runInfo(const Options& options, std::FILE* out) {
    HostContext host;
    ActiveHost active(host);
    auto plugin = openForInspection(options, host);

    std::fprintf(out, "Plug-in:        %s (entry %s)\n", options.positional[0].c_str(), plugin->entryName().c_str());
    std::fprintf(out, "Effect name:    %s\n", plugin->effectName().c_str());
    std::fprintf(out, "Vendor:         %s\n", plugin->vendorString().c_str());
    std::fprintf(out, "Product:        %s\n", plugin->productString().c_str());
    std::fprintf(out, "Vendor version: %lld\n", static_cast<long long>(plugin->vendorVersion()));
    std::fprintf(out, "Unique ID:      %d (0x%08X, '%s')\n", plugin->uniqueId(),
                 static_cast<unsigned>(plugin->uniqueId()), fourCharText(plugin->uniqueId()).c_str());
    std::fprintf(out, "VST version:    %lld\n", static_cast<long long>(plugin->vstVersion()));
    std::fprintf(out, "Flags:          0x%08X %s\n", static_cast<unsigned>(plugin->flags()),
                 describeFlags(plugin->flags()).c_str());
    std::fprintf(out, "Inputs:         %d\n", plugin->numInputs());
    std::fprintf(out, "Outputs:        %d\n", plugin->numOutputs());
    std::fprintf(out, "Initial delay:  %d samples\n", plugin->effect().initialDelay);
    std::fprintf(out, "Programs:       %d (current %d)\n", plugin->numPrograms(), plugin->currentProgram());
    for (int i = 0; i < plugin->numPrograms(); ++i)
        std::fprintf(out, "  %3d  %s\n", i, plugin->programName(i).c_str());
    printParameters(*plugin, out);
    plugin->close();
}

void runStateSave(const Options& options, std::FILE* out) {
    HostContext host;
    ActiveHost active(host);
    auto plugin = openForInspection(options, host);
    requireChunks(*plugin);
    plugin->setActive(true);
    plugin->setActive(false);
    const auto chunk = plugin->getChunk();
    if (chunk.empty()) throw ToolError("plug-in returned an empty state chunk; nothing saved");
    writeStateFile(options.positional[1], chunk);
    plugin->close();
    if (!options.quiet) std::fprintf(out, "Saved %zu bytes of state to %s\n", chunk.size(), options.positional[1].c_str());
}

void runStateLoad(const Options& options, std::FILE* out) {
    const auto chunk = readStateFile(options.positional[1]);
    HostContext host;
    ActiveHost active(host);
    auto plugin = openForInspection(options, host);
    requireChunks(*plugin);
    plugin->setActive(true);
    plugin->setChunk(chunk);
    if (!options.quiet) {
        std::fprintf(out, "Loaded %zu bytes of state from %s\n", chunk.size(), options.positional[1].c_str());
        printParameters(*plugin, out);
    }
    plugin->setActive(false);
    plugin->close();
}

}  // namespace vhost
