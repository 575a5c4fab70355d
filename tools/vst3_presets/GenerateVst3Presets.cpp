// vst3-presets FOLDER: writes one .vstpreset file per factory preset into
// FOLDER/<vendor>/<plug-in name>/, where hosts look for them (the folder
// names as the VST 3 preset locations spell them). Each file's component
// state is what the module's own getState writes after the preset's values
// went in through its edit controller, so the files follow whatever the state
// holds; a value that does not land exactly stops the build.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "effect/TonarvoPresets.h"
#include "effect/TonarvoVst3.h"
#include "host/vst3/Vst3Abi.h"
#include "host/vst3/Vst3Plugin.h"
#include "host/vst3/Vst3PresetFile.h"

namespace {

using namespace vst3;

// The stream getState writes into.
class Bytes final : public IBStream {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        *obj = sameTuid(iid, FUnknown::iid) || sameTuid(iid, IBStream::iid) ? this : nullptr;
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return 1; }
    uint32 VST3_CALL release() override { return 1; }
    tresult VST3_CALL read(void*, int32, int32* done) override {
        if (done) *done = 0;
        return kResultFalse;
    }
    tresult VST3_CALL write(void* buffer, int32 n, int32* done) override {
        if (n < 0) return kInvalidArgument;
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), b, b + n);
        if (done) *done = n;
        return kResultOk;
    }
    tresult VST3_CALL seek(int64, int32, int64*) override { return kResultFalse; }
    tresult VST3_CALL tell(int64* pos) override {
        if (pos) *pos = static_cast<int64>(bytes.size());
        return kResultOk;
    }
    std::vector<std::uint8_t> bytes;
};

// The preset locations replace these characters in the vendor's and the
// plug-in's names.
std::string legalized(std::string name) {
    for (char& c : name)
        if (std::string_view("\\*?/:<>|\"").find(c) != std::string_view::npos) c = '_';
    return name;
}

int fail(const char* what, const char* preset) {
    std::fprintf(stderr, "vst3-presets: %s (preset \"%s\")\n", what, preset);
    return 1;
}

// One fresh instance with the preset's values put in as a host puts them,
// and its state; empty on failure.
int stateOf(IPluginFactory3& factory, const TUID cid, const tonarvo::FactoryPreset& preset,
            std::vector<std::uint8_t>& state) {
    void* made = nullptr;
    if (factory.createInstance(cid, IComponent::iid.data(), &made) != kResultOk || !made)
        return fail("the class makes no instance", preset.name);
    auto* component = static_cast<IComponent*>(made);
    IEditController* controller = nullptr;
    component->initialize(nullptr);
    component->queryInterface(IEditController::iid.data(), reinterpret_cast<void**>(&controller));
    int result = 0;
    // The six controls are parameters 0 to 5; any after them (a bypass) keep
    // their defaults.
    if (controller == nullptr || controller->getParameterCount() < static_cast<int32>(tonarvo::kPresetValueCount)) {
        result = fail("the controller does not have the preset's parameters", preset.name);
    } else {
        for (ParamID p = 0; p < tonarvo::kPresetValueCount; ++p) {
            const ParamValue x = controller->plainParamToNormalized(p, preset.values[p]);
            controller->setParamNormalized(p, x);
            // Read back from the host's side and from the effect's slider,
            // which must hold the table's value to the last bit.
            const double stored = static_cast<vst3face::Plugin*>(component)->wrapped().value(p);
            if (controller->getParamNormalized(p) != x || stored != preset.values[p]) {
                std::fprintf(stderr, "vst3-presets: parameter %u holds %.17g, not %.17g\n", static_cast<unsigned>(p),
                             stored, preset.values[p]);
                result = fail("a value did not land exactly", preset.name);
            }
        }
        Bytes stream;
        if (result == 0 && (component->getState(&stream) != kResultOk || stream.bytes.empty()))
            result = fail("getState failed", preset.name);
        state = std::move(stream.bytes);
    }
    if (controller) controller->release();
    component->terminate();
    component->release();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    IPluginFactory3* factory = vst3face::moduleFactory(tonarvo::vst3Class());
    PClassInfo2 info{};
    if (factory->countClasses() != 1 || factory->getClassInfo2(0, &info) != kResultOk) {
        std::fprintf(stderr, "vst3-presets: the module does not describe its one class\n");
        return 1;
    }
    namespace fs = std::filesystem;
    // The names are ASCII, the same path on every platform.
    const fs::path folder = fs::path(argv[1]) / legalized(info.vendor) / legalized(info.name);
    std::error_code error;
    fs::remove_all(folder, error);  // no file of a preset since renamed stays behind
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "vst3-presets: cannot make %s\n", folder.string().c_str());
        return 1;
    }
    int status = 0;
    for (const tonarvo::FactoryPreset& preset : tonarvo::factoryPresets()) {
        vst3face::PresetFile file;
        file.classId = printTuid(info.cid).text;
        if ((status = stateOf(*factory, info.cid, preset, file.componentState)) != 0) break;
        const std::vector<std::uint8_t> bytes = vst3face::writePresetFile(file);
        // Hosts name a preset by its file's name.
        std::ofstream out(folder / (legalized(preset.name) + ".vstpreset"), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (bytes.empty() || !out.flush()) {
            status = fail("cannot write the file", preset.name);
            break;
        }
    }
    factory->release();
    return status;
}
