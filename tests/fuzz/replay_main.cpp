// The face fuzzers' threaded variant, for the thread sanitizer (which
// libFuzzer does not combine with): runs the harness over each file of the
// given folders with the host's audio calls on a thread of their own, each
// file as it is and its bytes four times over (a longer session, so more of
// its calls meet the audio thread's).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FaceFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    facefuzz::gThreaded = true;
    std::vector<std::filesystem::path> files;
    for (int k = 1; k < argc; ++k) {
        const std::filesystem::path path(argv[k]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream stream(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        std::printf("%s (%zu bytes)\n", file.filename().c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        std::vector<std::uint8_t> longer;
        for (int k = 0; k < 4; ++k) longer.insert(longer.end(), bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(longer.data(), longer.size());
    }
    std::printf("%zu inputs replayed with an audio thread\n", files.size());
    return files.empty() ? 1 : 0;
}
