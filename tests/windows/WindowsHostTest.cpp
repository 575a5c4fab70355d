// What only the Windows build has: the third export name, the export and
// resource tables of the DLL, unloading and loading again, and the runtime's
// platform layer as it behaves inside a DLL. The shared end-to-end suite
// (tests/e2e) runs in the same program against the same DLL.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>

#include "../e2e/PluginHost.h"

namespace e2e {
namespace {

HMODULE tonarvoModule() { return static_cast<HMODULE>(tonarvoLibrary().nativeHandle()); }

// The names of a loaded module's export directory, read from its PE headers.
std::vector<std::string> exportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.Size == 0) return {};
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) found.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<float> testSignal(std::size_t frames, double frequency) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(0.6 * std::sin(0.0213 * frequency * static_cast<double>(i)));
    return out;
}

// Both precisions, one block each, from a freshly switched-on instance.
std::vector<double> processBothPrecisions(Instance& instance) {
    std::vector<float> left = testSignal(256, 1.0), right = testSignal(256, 3.0);
    std::vector<float> outLeft(256), outRight(256);
    float* fin[2] = {left.data(), right.data()};
    float* fout[2] = {outLeft.data(), outRight.data()};
    instance.effect->processReplacing(instance.effect, fin, fout, 256);
    std::vector<double> dLeft(left.begin(), left.end()), dRight(right.begin(), right.end());
    std::vector<double> dOutLeft(256), dOutRight(256);
    double* din[2] = {dLeft.data(), dRight.data()};
    double* dout[2] = {dOutLeft.data(), dOutRight.data()};
    instance.effect->processDoubleReplacing(instance.effect, din, dout, 256);
    std::vector<double> all(outLeft.begin(), outLeft.end());
    all.insert(all.end(), outRight.begin(), outRight.end());
    all.insert(all.end(), dOutLeft.begin(), dOutLeft.end());
    all.insert(all.end(), dOutRight.begin(), dOutRight.end());
    return all;
}

TEST(WindowsEntry, ThreeNamesOfOneFunctionAndNothingElseExported) {
    ASSERT_TRUE(tonarvoLibrary().loaded()) << tonarvoLibrary().error();
    const VstPluginMainProc entry = tonarvoEntry("VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(tonarvoEntry("main"), entry);
    EXPECT_EQ(tonarvoEntry("MAIN"), entry);
    EXPECT_EQ(tonarvoEntry("Main"), nullptr) << "export lookup is case-sensitive";
    EXPECT_EQ(exportedNames(tonarvoModule()), (std::vector<std::string>{"MAIN", "VSTPluginMain", "main"}));
}

TEST(WindowsEntry, EachNameGivesAnIndependentWorkingInstance) {
    RecordingHost::reset();
    TonarvoInstance a("VSTPluginMain"), b("main"), c("MAIN");
    std::vector<Instance*> all = {&a, &b, &c};
    for (Instance* instance : all) {
        ASSERT_NE(instance->effect, nullptr);
        const AEffect& e = *instance->effect;
        EXPECT_EQ(e.magic, fourCharConstant('V', 's', 't', 'P'));
        EXPECT_EQ(e.flags, 4145);
        EXPECT_EQ(e.uniqueID, 6248);
        EXPECT_EQ(e.numInputs, 2);
        EXPECT_EQ(e.numOutputs, 2);
        EXPECT_EQ(e.numPrograms, 1);
        EXPECT_EQ(e.numParams, 6);
        EXPECT_EQ(e.version, 1);
        EXPECT_EQ(instance->dispatch(effGetVstVersion), 2400);
        instance->startUp();
    }
    EXPECT_NE(a.effect, c.effect);
    EXPECT_NE(b.effect, c.effect);
    EXPECT_NE(a.effect->object, c.effect->object);

    c.set(0, 1.0f);
    EXPECT_EQ(c.get(0), 1.0f);
    EXPECT_EQ(a.get(0), 0.5f);
    EXPECT_EQ(b.get(0), 0.5f);
    c.set(0, 0.5f);

    const std::vector<double> reference = processBothPrecisions(a);
    EXPECT_EQ(processBothPrecisions(b), reference);
    EXPECT_EQ(processBothPrecisions(c), reference);
    EXPECT_EQ(c.chunk().size(), 260u);
    for (Instance* instance : all) EXPECT_EQ(instance->close(), 1);
}

TEST(WindowsEntry, HostWithoutVersionGetsNoInstanceFromAnyName) {
    for (const char* name : {"VSTPluginMain", "main", "MAIN"}) {
        SCOPED_TRACE(name);
        RecordingHost::reset();
        RecordingHost::versionAnswer = 0;
        EXPECT_EQ(tonarvoEntry(name)(&RecordingHost::callback), nullptr);
    }
    RecordingHost::reset();
}

struct ImageRow {
    const char* file;
    std::uint32_t width, height;
    int colourType;  // PNG: 2 RGB, 6 RGBA
};

// Resource number = image handle = row index.
const ImageRow kImages[] = {
    {"MARVOLTIC_LogoTealGlow.PNG", 99, 99, 2}, {"MARVOLTIC_WebLinkText.png", 99, 99, 6},
    {"MARVOLTIC_LogoTealGlow_Stylus.png", 99, 99, 6}, {"50x50square_top_ON.png", 50, 50, 6},
    {"Clipping_OFF.png", 100, 20, 2}, {"Clipping_ON.png", 100, 20, 2},
    {"EXPERIMENTAL_OFF.png", 100, 20, 2}, {"EXPERIMENTAL_ON.png", 100, 20, 2},
};

std::vector<unsigned char> resourceBytes(HMODULE module, int number) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), "DATA");
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    if (data == nullptr) return {};
    return std::vector<unsigned char>(data, data + SizeofResource(module, found));
}

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

BOOL CALLBACK collectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR into) {
    reinterpret_cast<std::vector<WORD>*>(into)->push_back(language);
    return TRUE;
}

TEST(WindowsResources, EightPngImagesOfTypeDataInLanguage1033) {
    ASSERT_TRUE(tonarvoLibrary().loaded()) << tonarvoLibrary().error();
    const HMODULE module = tonarvoModule();
    for (int n = 0; n < 8; ++n) {
        const ImageRow& row = kImages[n];
        SCOPED_TRACE(std::to_string(n) + " " + row.file);
        const std::vector<unsigned char> bytes = resourceBytes(module, n);
        ASSERT_GE(bytes.size(), 33u);
        const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        EXPECT_TRUE(std::equal(signature, signature + 8, bytes.begin()));
        EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "IHDR");
        EXPECT_EQ(bigEndian32(&bytes[16]), row.width);
        EXPECT_EQ(bigEndian32(&bytes[20]), row.height);
        EXPECT_EQ(bytes[24], 8) << "bit depth";
        EXPECT_EQ(bytes[25], row.colourType);
        EXPECT_EQ(bytes, fileBytes(std::string(TONARVO_IMAGES_DIR) + "/" + row.file)) << "not the image of that number";

        std::vector<WORD> languages;
        EnumResourceLanguagesA(module, "DATA", MAKEINTRESOURCEA(n), &collectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{1033});
        EXPECT_EQ(FindResourceExA(module, "DATA", MAKEINTRESOURCEA(n), 1033), FindResourceA(module, MAKEINTRESOURCEA(n), "DATA"));
    }
    // Nothing past 7, nothing under the predefined RCDATA type, and the
    // resources are the DLL's, not the program's.
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(8), "DATA"), nullptr);
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(0), RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(0), "DATA"), nullptr);
}

// The probe DLL carries the runtime's platform files and the same resources.
class PlatformProbe {
public:
    PlatformProbe() : module_(LoadLibraryA(PLATFORM_PROBE_PATH)) {}
    ~PlatformProbe() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE module() const { return module_; }
    template <typename Function>
    Function get(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    std::string text(const char* name) const {
        char buffer[1024];
        return get<int (*)(char*, int)>(name)(buffer, sizeof buffer) >= 0 ? std::string(buffer) : "<failed>";
    }
    std::string resolve(const char* file) const {
        char buffer[1024];
        get<int (*)(const char*, char*, int)>("probeResolvePath")(file, buffer, sizeof buffer);
        return buffer;
    }

private:
    HMODULE module_;
};

std::string moduleFileName(HMODULE module) {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    return std::string(buffer, length);
}

TEST(WindowsPlatform, ModulePathIsTheDllsOwnWhateverThreadAsks) {
    const PlatformProbe probe;
    ASSERT_NE(probe.module(), nullptr);
    const std::string expected = moduleFileName(probe.module());
    ASSERT_FALSE(expected.empty());
    EXPECT_NE(expected, moduleFileName(nullptr));
    EXPECT_EQ(probe.text("probeModulePath"), expected);

    // Threads starting and ending send further notifications to the DLL.
    std::string fromThread;
    std::thread([&] { fromThread = probe.text("probeModulePath"); }).join();
    EXPECT_EQ(fromThread, expected);
    EXPECT_EQ(probe.text("probeModulePath"), expected);

    const std::string folder = expected.substr(0, expected.find_last_of("\\/") + 1);
    EXPECT_EQ(probe.resolve("Clipping_ON.png"), folder + "Clipping_ON.png");
    EXPECT_EQ(probe.resolve("\\Clipping_ON.png"), folder + "Clipping_ON.png");
    EXPECT_EQ(probe.resolve("/Clipping_ON.png"), folder + "Clipping_ON.png");
}

TEST(WindowsPlatform, ResourcesComeFromTheDllThatAsks) {
    const PlatformProbe probe;
    ASSERT_NE(probe.module(), nullptr);
    const auto load = probe.get<int (*)(int, const unsigned char**, std::size_t*)>("probeResource");
    ASSERT_NE(load, nullptr);
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        const unsigned char* bytes = nullptr;
        std::size_t size = 0;
        ASSERT_EQ(load(n, &bytes, &size), 1);
        EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + size),
                  fileBytes(std::string(TONARVO_IMAGES_DIR) + "/" + kImages[n].file));
    }
    for (const int missing : {8, -1, 0x10000, INT32_MIN}) {
        SCOPED_TRACE(missing);
        const unsigned char* bytes = nullptr;
        std::size_t size = 7;
        EXPECT_EQ(load(missing, &bytes, &size), 0);
        EXPECT_EQ(bytes, nullptr);
        EXPECT_EQ(size, 7u);
    }
}

TEST(WindowsPlatform, ClocksRandomNumbersAndTraceFile) {
    const PlatformProbe probe;
    ASSERT_NE(probe.module(), nullptr);
    EXPECT_EQ(probe.text("probeTraceFilePath"), "\\wisp.log.txt");

    // Elapsed time, not processor time: a sleeping process still advances it.
    const auto frameClock = probe.get<int (*)()>("probeFrameClockMs");
    const int before = frameClock();
    Sleep(120);
    const int elapsed = frameClock() - before;
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 5000);

    const long long now = _time64(nullptr);
    EXPECT_LE(std::llabs(probe.get<long long (*)()>("probeCalendarSeconds")() - now), 2);
    EXPECT_LE(std::fabs(probe.get<double (*)()>("probeTimeOfDaySeconds")() - static_cast<double>(now)), 2.0);

    // The C runtime's generator: per thread, seeded with 1, 0 to 32767.
    const auto random = probe.get<int (*)()>("probeRandomNumber");
    std::vector<int> first;
    std::thread([&] {
        for (int i = 0; i < 1000; ++i) first.push_back(random());
    }).join();
    ASSERT_EQ(first.size(), 1000u);
    EXPECT_EQ(std::vector<int>(first.begin(), first.begin() + 3), (std::vector<int>{41, 18467, 6334}));
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](int r) { return r >= 0 && r <= 32767; }));
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 30000);
}

// Runs in a process of its own (see CMakeLists.txt): the shared suite keeps
// the DLL loaded for the whole process.
TEST(WindowsLoader, UnloadsAndLoadsAgainIntoTheSameBehaviour) {
    if (GetModuleHandleA("Tonarvo.dll") != nullptr) GTEST_SKIP() << "Tonarvo.dll is already loaded in this process";
    std::vector<double> firstRound;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const HMODULE module = LoadLibraryA(TONARVO_PLUGIN_PATH);
        ASSERT_NE(module, nullptr) << GetLastError();
        const auto entry =
            reinterpret_cast<VstPluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, "MAIN")));
        ASSERT_NE(entry, nullptr);
        {
            RecordingHost::reset();
            Instance instance(entry);
            ASSERT_NE(instance.effect, nullptr);
            instance.startUp();
            const std::vector<double> output = processBothPrecisions(instance);
            if (round == 0) firstRound = output;
            else EXPECT_EQ(output, firstRound) << "process-wide state must start afresh after a reload";
            EXPECT_EQ(instance.chunk().size(), 260u);
            EXPECT_EQ(instance.close(), 1);
        }
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_EQ(GetModuleHandleA("Tonarvo.dll"), nullptr) << "still loaded after the last FreeLibrary";
    }
}

}  // namespace
}  // namespace e2e
