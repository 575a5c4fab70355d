// Running the vsthost binary as a user would, and making and reading the
// audio files it works on.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace clitest {

struct RunResult {
    int exitCode = -1;    // valid when exited
    bool exited = false;  // false: killed by a signal (a crash)
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs vsthost with the arguments; extra environment entries as NAME=VALUE.
RunResult runHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// A fresh directory for the running test, under the build tree.
std::string scratchDir();

std::string pluginPath(const std::string& fakeKind);  // "fake_probe" ...
std::string tonarvoPath();
// The VST 3 bundle and the CLAP file of the same effect, those built here.
std::vector<std::string> otherFacePaths();
std::string demoPath();

struct Audio {
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // interleaved
    long long frames() const { return channels > 0 ? static_cast<long long>(samples.size()) / channels : 0; }
};

// Deterministic test signal: tones, a little noise, and some samples beyond
// full scale (which float files keep and a host must pass on untouched).
Audio makeSignal(int channels, long long frames, int sampleRate, int format);
void writeAudio(const std::string& path, const Audio& audio);
Audio readAudio(const std::string& path);

std::string readText(const std::string& path);
std::vector<unsigned char> readBytes(const std::string& path);
void writeText(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
std::vector<std::string> lines(const std::string& text);

}  // namespace clitest
