#include "tools/make_demo/WavWriter.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace demo {

namespace {

void put16(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putTag(std::vector<unsigned char>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

void writeStereoFloatWav(const std::string& path, int sampleRate, const std::vector<float>& left,
                         const std::vector<float>& right) {
    const auto frames = static_cast<std::uint32_t>(left.size());
    const std::uint32_t channels = 2;
    const std::uint32_t bytesPerFrame = channels * 4;
    const std::uint32_t dataBytes = frames * bytesPerFrame;

    std::vector<unsigned char> file;
    file.reserve(dataBytes + 64);
    putTag(file, "RIFF");
    put32(file, 4 + (8 + 18) + (8 + 4) + (8 + dataBytes));
    putTag(file, "WAVE");
    // Float data takes the 18-byte format chunk and a fact chunk.
    putTag(file, "fmt ");
    put32(file, 18);
    put16(file, 3);  // IEEE float
    put16(file, channels);
    put32(file, static_cast<std::uint32_t>(sampleRate));
    put32(file, static_cast<std::uint32_t>(sampleRate) * bytesPerFrame);
    put16(file, bytesPerFrame);
    put16(file, 32);
    put16(file, 0);
    putTag(file, "fact");
    put32(file, 4);
    put32(file, frames);
    putTag(file, "data");
    put32(file, dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (float sample : {left[i], right[i]}) {
            std::uint32_t bits = 0;
            std::memcpy(&bits, &sample, sizeof bits);
            put32(file, bits);
        }
    }

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write '" + path + "'");
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) throw std::runtime_error("error writing '" + path + "'");
}

}  // namespace demo
