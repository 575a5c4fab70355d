#include "tools/vsthost/PluginLoader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/vsthost/AdaptedEffect.h"
#include "tools/vsthost/Errors.h"

namespace vhost {

namespace {

// Plug-ins copy their texts without honouring the documented maxima (8 or 24
// characters are routinely exceeded), so every text buffer is generous.
constexpr std::size_t kTextBuffer = 512;

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& reason) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) reason = "LoadLibrary failed, error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* library, const char* name) {
    // Through void*: FARPROC and the entry type are unrelated function types.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void* openLibrary(const std::string& path, std::string& reason) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        reason = error != nullptr ? error : "dlopen failed";
    }
    return library;
}
void* findSymbol(void* library, const char* name) {
    dlerror();
    return dlsym(library, name);
}
void closeLibrary(void* library) { dlclose(library); }
#endif

void* findEntry(void* library, std::string& name) {
    for (const char* candidate : {"VSTPluginMain", "main"}) {
        if (void* symbol = findSymbol(library, candidate); symbol != nullptr) {
            name = candidate;
            return symbol;
        }
    }
    return nullptr;
}

enum class Format { Vst2, Vst3, Clap };

// By the name, as hosts go by it: a bundle or module ending in .vst3, a
// file ending in .clap; anything else is taken for a VST 2.4 library.
Format formatOf(const std::filesystem::path& file) {
    std::string suffix = file.extension().string();
    if (suffix.empty()) suffix = file.parent_path().extension().string();  // "Bundle.vst3/"
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (suffix == ".vst3") return Format::Vst3;
    if (suffix == ".clap") return Format::Clap;
    return Format::Vst2;
}

}  // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::open(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path file(path);
    if (!std::filesystem::exists(file, ec)) throw ToolError("cannot load plug-in '" + path + "': no such file");
    Format format = formatOf(file);
    if (std::filesystem::is_directory(file, ec) && format != Format::Vst3)
        throw ToolError("cannot load plug-in '" + path + "': is a directory");
    // An absolute path keeps dlopen from searching the library path instead.
    const std::string absolute = std::filesystem::absolute(file, ec).string();
    const std::string binary = format == Format::Vst3 ? vst3Binary(absolute) : absolute;
    if (binary != absolute && !std::filesystem::is_regular_file(binary, ec))
        throw ToolError("cannot load plug-in '" + path + "': the bundle has no module for this platform (" +
                        std::filesystem::path(binary).lexically_relative(absolute).generic_string() + ")");

    std::string reason;
    void* library = openLibrary(binary, reason);
    if (library == nullptr) throw ToolError("cannot load plug-in '" + path + "': " + reason);
    std::string entryName;
    void* symbol = nullptr;
    if (format == Format::Vst2) {
        symbol = findEntry(library, entryName);
        // A module taken out of its bundle, or a CLAP file by another name.
        if (symbol == nullptr && findSymbol(library, "GetPluginFactory") != nullptr) format = Format::Vst3;
        else if (symbol == nullptr && findSymbol(library, "clap_entry") != nullptr) format = Format::Clap;
        else if (symbol == nullptr) {
            closeLibrary(library);
            throw ToolError("'" + path + "' is not a VST 2.4 plug-in: it exports neither VSTPluginMain nor main");
        }
    }
    std::unique_ptr<FormatModule> module;
    if (format != Format::Vst2) {
        try {
            const ModuleSymbols symbols{library, findSymbol, path, binary};
            module = format == Format::Vst3 ? openVst3Module(symbols) : openClapModule(symbols);
        } catch (...) {
            closeLibrary(library);
            throw;
        }
        entryName = module->entryName();
    }
    auto opened = std::shared_ptr<PluginLibrary>(
        new PluginLibrary(library, reinterpret_cast<vst2::VstPluginMainProc>(symbol), path, std::move(entryName)));
    opened->module_ = std::move(module);
    return opened;
}

PluginLibrary::PluginLibrary(void* handle, vst2::VstPluginMainProc entry, std::string path, std::string entryName)
    : handle_(handle), entry_(entry), path_(std::move(path)), entryName_(std::move(entryName)) {}

PluginLibrary::~PluginLibrary() {
    module_.reset();  // the module's own exit runs before its code is unmapped
    closeLibrary(handle_);
}

vst2::AEffect* PluginLibrary::instantiate(vst2::audioMasterCallback callback) const {
    if (module_ != nullptr) return module_->instantiate(callback);
    vst2::AEffect* effect = entry_(callback);
    if (effect == nullptr)
        throw ToolError("plug-in '" + path_ + "' refused to start: " + entryName_ + " returned no effect");
    if (effect->magic != vst2::kEffectMagic) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "0x%08X", static_cast<unsigned>(effect->magic));
        // Whatever it returned is not an AEffect we may call into; leak it
        // rather than guess at how to free it.
        throw ToolError("'" + path_ + "' returned an effect with the wrong magic " + detail + " (expected 'VstP')");
    }
    if (effect->dispatcher == nullptr) throw ToolError("'" + path_ + "' returned an effect without a dispatcher");
    return effect;
}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, vst2::audioMasterCallback callback) {
    return create(PluginLibrary::open(path), callback);
}

std::unique_ptr<Plugin> Plugin::create(std::shared_ptr<PluginLibrary> library, vst2::audioMasterCallback callback) {
    vst2::AEffect* effect = library->instantiate(callback);
    return std::unique_ptr<Plugin>(new Plugin(std::move(library), effect));
}

Plugin::Plugin(std::shared_ptr<PluginLibrary> library, vst2::AEffect* effect)
    : library_(std::move(library)), effect_(effect) {}

Plugin::~Plugin() {
    // An error part-way through a render must still leave the plug-in closed
    // in the order it expects before its code is unmapped.
    if (effect_ != nullptr) {
        if (processing_) stopProcess();
        if (active_) setActive(false);
        close();
    }
}

vst2::VstIntPtr Plugin::dispatch(vst2::VstInt32 opcode, vst2::VstInt32 index, vst2::VstIntPtr value, void* ptr,
                                 float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::open() {
    dispatch(vst2::effOpen);
}

void Plugin::setSampleRate(float rate) { dispatch(vst2::effSetSampleRate, 0, 0, nullptr, rate); }

void Plugin::setBlockSize(int frames) { dispatch(vst2::effSetBlockSize, 0, frames); }

void Plugin::setActive(bool on) {
    dispatch(vst2::effMainsChanged, 0, on ? 1 : 0);
    active_ = on;
}

void Plugin::startProcess() {
    dispatch(vst2::effStartProcess);
    processing_ = true;
}

void Plugin::stopProcess() {
    dispatch(vst2::effStopProcess);
    processing_ = false;
}

void Plugin::close() {
    if (effect_ == nullptr) return;
    dispatch(vst2::effClose);
    effect_ = nullptr;
}

std::string Plugin::textQuery(vst2::VstInt32 opcode, vst2::VstInt32 index) {
    std::array<char, kTextBuffer> buffer{};
    dispatch(opcode, index, 0, buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

std::string Plugin::effectName() { return textQuery(vst2::effGetEffectName, 0); }
std::string Plugin::vendorString() { return textQuery(vst2::effGetVendorString, 0); }
std::string Plugin::productString() { return textQuery(vst2::effGetProductString, 0); }
vst2::VstIntPtr Plugin::vendorVersion() { return dispatch(vst2::effGetVendorVersion); }
vst2::VstIntPtr Plugin::vstVersion() { return dispatch(vst2::effGetVstVersion); }

int Plugin::currentProgram() { return static_cast<int>(dispatch(vst2::effGetProgram)); }

std::string Plugin::programName(int index) {
    std::string name = textQuery(vst2::effGetProgramNameIndexed, index);
    // Plug-ins without indexed names still name the current program.
    if (name.empty() && index == currentProgram()) name = textQuery(vst2::effGetProgramName, 0);
    return name;
}

std::string Plugin::paramName(int index) { return textQuery(vst2::effGetParamName, index); }
std::string Plugin::paramLabel(int index) { return textQuery(vst2::effGetParamLabel, index); }
std::string Plugin::paramDisplay(int index) { return textQuery(vst2::effGetParamDisplay, index); }

float Plugin::getParameter(int index) {
    return effect_->getParameter != nullptr ? effect_->getParameter(effect_, index) : 0.0f;
}

void Plugin::setParameter(int index, float value) {
    if (effect_->setParameter != nullptr) effect_->setParameter(effect_, index, value);
}

std::vector<std::string> Plugin::paramNames() {
    std::vector<std::string> names;
    for (int i = 0; i < numParams(); ++i) names.push_back(paramName(i));
    return names;
}

std::vector<std::uint8_t> Plugin::getChunk() {
    void* data = nullptr;
    const vst2::VstIntPtr size = dispatch(vst2::effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return {bytes, bytes + size};
}

void Plugin::setChunk(const std::vector<std::uint8_t>& data) {
    // Plug-ins receive a non-const pointer; give them a copy they may scribble on.
    std::vector<std::uint8_t> copy = data;
    dispatch(vst2::effSetChunk, 0, static_cast<vst2::VstIntPtr>(copy.size()), copy.data());
}

void Plugin::processFloat(float** inputs, float** outputs, int frames) {
    if (effect_->processReplacing != nullptr && hasFlag(vst2::effFlagsCanReplacing)) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    } else if (effect_->process != nullptr) {
        // The old accumulating call adds to what is there; outputs arrive zeroed.
        effect_->process(effect_, inputs, outputs, frames);
    } else {
        throw ToolError("plug-in offers no single-precision processing");
    }
}

void Plugin::processDouble(double** inputs, double** outputs, int frames) {
    if (effect_->processDoubleReplacing == nullptr || !hasFlag(vst2::effFlagsCanDoubleReplacing))
        throw ToolError("plug-in does not support double-precision processing");
    effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
}

}  // namespace vhost
