// A loaded VST 2.4 plug-in: the shared library, its AEffect and typed helpers
// over the dispatcher. Only the published binary interface is used, so any
// plug-in can be driven, not just ours. A VST 3 bundle (*.vst3) or a CLAP
// file (*.clap) is loaded as well and handed out through an adapter that
// presents it as a VST 2.4 effect (AdaptedEffect.h), so everything built on
// this drives all three formats alike. Builds for Linux and Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vst2_abi.h"

namespace vhost {

class FormatModule;

// The plug-in's shared library, loaded once and shared by every instance made
// from it; it is unloaded when the last holder lets go.
class PluginLibrary {
public:
    // Throws ToolError with the reason when the file is not a loadable
    // library with a VST 2.4 entry point, a VST 3 bundle or module, or a
    // CLAP file.
    static std::shared_ptr<PluginLibrary> open(const std::string& path);

    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Calls the entry point: a new effect, checked to be one we may call into.
    // Throws ToolError when the plug-in refuses or returns something else.
    vst2::AEffect* instantiate(vst2::audioMasterCallback callback) const;

    const std::string& path() const { return path_; }
    const std::string& entryName() const { return entryName_; }
    void* nativeHandle() const { return handle_; }

private:
    PluginLibrary(void* handle, vst2::VstPluginMainProc entry, std::string path, std::string entryName);

    void* handle_;
    vst2::VstPluginMainProc entry_;
    std::unique_ptr<FormatModule> module_;  // VST 3 or CLAP; null for VST 2.4
    std::string path_;
    std::string entryName_;
};

class Plugin {
public:
    // Loads the library and calls its entry point with the callback. Throws
    // ToolError with the reason when the file is not a usable plug-in.
    static std::unique_ptr<Plugin> load(const std::string& path, vst2::audioMasterCallback callback);
    // A further instance from a library already loaded.
    static std::unique_ptr<Plugin> create(std::shared_ptr<PluginLibrary> library, vst2::audioMasterCallback callback);

    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    vst2::AEffect& effect() { return *effect_; }
    const std::string& entryName() const { return library_->entryName(); }

    vst2::VstIntPtr dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f);

    // Lifecycle, in the order a host drives it.
    void open();
    void setSampleRate(float rate);
    void setBlockSize(int frames);
    void setActive(bool on);  // effMainsChanged
    void startProcess();
    void stopProcess();
    void close();  // effClose; the AEffect is gone afterwards

    // Identity.
    std::string effectName();
    std::string vendorString();
    std::string productString();
    vst2::VstIntPtr vendorVersion();
    vst2::VstIntPtr vstVersion();
    vst2::VstInt32 uniqueId() const { return effect_->uniqueID; }
    vst2::VstInt32 flags() const { return effect_->flags; }
    bool hasFlag(vst2::VstInt32 flag) const { return (effect_->flags & flag) != 0; }
    int numInputs() const { return effect_->numInputs; }
    int numOutputs() const { return effect_->numOutputs; }
    int numPrograms() const { return effect_->numPrograms; }
    int numParams() const { return effect_->numParams; }

    // Programs and parameters.
    int currentProgram();
    std::string programName(int index);
    std::string paramName(int index);
    std::string paramLabel(int index);
    std::string paramDisplay(int index);
    float getParameter(int index);
    void setParameter(int index, float value);
    std::vector<std::string> paramNames();

    // State as an opaque chunk (index 0: the whole bank, as hosts save it).
    std::vector<std::uint8_t> getChunk();
    void setChunk(const std::vector<std::uint8_t>& data);

    void processFloat(float** inputs, float** outputs, int frames);
    void processDouble(double** inputs, double** outputs, int frames);

private:
    Plugin(std::shared_ptr<PluginLibrary> library, vst2::AEffect* effect);
    std::string textQuery(vst2::VstInt32 opcode, vst2::VstInt32 index);

    std::shared_ptr<PluginLibrary> library_;
    vst2::AEffect* effect_;
    bool active_ = false;
    bool processing_ = false;
};

}  // namespace vhost
