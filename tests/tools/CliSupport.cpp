#include "CliSupport.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

extern char** environ;

namespace clitest {

namespace fs = std::filesystem;

RunResult runHost(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const std::string dir = scratchDir();
    const std::string outPath = dir + "/.stdout";
    const std::string errPath = dir + "/.stderr";
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
    for (const auto& e : env) envStore.push_back(e);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(VSTHOST_EXE)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : envStore) envp.push_back(e.data());
        envp.push_back(nullptr);
        execve(VSTHOST_EXE, argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult result;
    result.exited = WIFEXITED(status);
    if (result.exited) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

std::string scratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name =
        info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : std::string("global");
    const fs::path dir = fs::path(CLI_SCRATCH_DIR) / name;
    fs::create_directories(dir);
    return dir.string();
}

std::string pluginPath(const std::string& fakeKind) { return std::string(FAKE_PLUGIN_DIR) + "/" + fakeKind + ".so"; }

std::string tonarvoPath() { return TONARVO_PLUGIN; }

std::vector<std::string> otherFacePaths() {
    std::vector<std::string> faces;
#ifdef TONARVO_VST3_BUNDLE
    faces.push_back(TONARVO_VST3_BUNDLE);
#endif
#ifdef TONARVO_CLAP_FILE
    faces.push_back(TONARVO_CLAP_FILE);
#endif
    return faces;
}

std::string demoPath() { return DEMO_WAV; }

Audio makeSignal(int channels, long long frames, int sampleRate, int format) {
    Audio audio;
    audio.format = format;
    audio.channels = channels;
    audio.sampleRate = sampleRate;
    audio.samples.resize(static_cast<std::size_t>(frames * channels));
    std::uint32_t noise = 12345u;
    const bool floatFile = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    for (long long f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(f) / sampleRate;
            double v = 0.6 * std::sin(2.0 * std::numbers::pi * (220.0 + 110.0 * c) * t) + 0.05 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
            // Float files get a stretch above full scale; integer ones stay inside it.
            if (floatFile && f % 1000 < 50) v *= 2.5;
            audio.samples[static_cast<std::size_t>(f * channels + c)] = static_cast<float>(v);
        }
    }
    return audio;
}

void writeAudio(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.format = audio.format;
    info.channels = audio.channels;
    info.samplerate = audio.sampleRate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write test audio " + path + ": " + sf_strerror(nullptr));
    sf_writef_float(file, audio.samples.data(), audio.frames());
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    Audio audio;
    audio.format = info.format;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<unsigned char> readBytes(const std::string& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

}  // namespace clitest
