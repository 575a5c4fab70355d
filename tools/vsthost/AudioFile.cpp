#include "tools/vsthost/AudioFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "tools/vsthost/Errors.h"

namespace vhost {

AudioReader::AudioReader(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw ToolError("cannot read '" + path + "': no such file");
    if (std::filesystem::is_directory(path, ec)) throw ToolError("cannot read '" + path + "': is a directory");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr)
        throw ToolError("cannot read '" + path + "' as audio: " + sf_strerror(nullptr));
    if (info_.channels <= 0 || info_.samplerate <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw ToolError("cannot read '" + path + "' as audio: no channels or no sample rate");
    }
}

AudioReader::~AudioReader() {
    if (file_ != nullptr) sf_close(file_);
}

std::int64_t AudioReader::readFloat(float* interleaved, std::int64_t frames) {
    const sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw ToolError("error reading '" + path_ + "': " + sf_strerror(file_));
    return got;
}

std::int64_t AudioReader::readDouble(double* interleaved, std::int64_t frames) {
    const sf_count_t got = sf_readf_double(file_, interleaved, frames);
    if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw ToolError("error reading '" + path_ + "': " + sf_strerror(file_));
    return got;
}

AudioWriter::AudioWriter(const std::string& path, int format, int channels, int sampleRate) : path_(path) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) throw ToolError("cannot write '" + path + "': " + sf_strerror(nullptr));
    // The PEAK chunk carries a timestamp: without it, equal audio gives equal files.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Integer formats would wrap samples beyond full scale into loud clicks.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioWriter::writeFloat(const float* interleaved, std::int64_t frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw ToolError("error writing '" + path_ + "': " + sf_strerror(file_));
}

void AudioWriter::writeDouble(const double* interleaved, std::int64_t frames) {
    if (sf_writef_double(file_, interleaved, frames) != frames)
        throw ToolError("error writing '" + path_ + "': " + sf_strerror(file_));
}

void AudioWriter::finish() {
    if (file_ == nullptr) return;
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0) throw ToolError("error finishing '" + path_ + "'");
}

void AudioWriter::abandon() noexcept {
    if (file_ != nullptr) sf_close(file_);
    file_ = nullptr;
}

int majorFormatForExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    struct Entry {
        const char* ext;
        int format;
    };
    static constexpr Entry kTable[] = {
        {"wav", SF_FORMAT_WAV},   {"wave", SF_FORMAT_WAV},  {"aif", SF_FORMAT_AIFF}, {"aiff", SF_FORMAT_AIFF},
        {"aifc", SF_FORMAT_AIFF}, {"flac", SF_FORMAT_FLAC}, {"ogg", SF_FORMAT_OGG},  {"oga", SF_FORMAT_OGG},
        {"au", SF_FORMAT_AU},     {"snd", SF_FORMAT_AU},    {"caf", SF_FORMAT_CAF},  {"w64", SF_FORMAT_W64},
        {"rf64", SF_FORMAT_RF64},
    };
    for (const Entry& entry : kTable)
        if (ext == entry.ext) return entry.format;
    return 0;
}

namespace {

bool formatWorks(int format, int channels) {
    SF_INFO probe{};
    probe.format = format;
    probe.channels = channels;
    probe.samplerate = 44100;
    return sf_format_check(&probe) != 0;
}

}  // namespace

int chooseOutputFormat(int inputFormat, const std::string& outputPath, int channels) {
    int major = majorFormatForExtension(outputPath);
    if (major == 0) major = inputFormat & SF_FORMAT_TYPEMASK;
    const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
    for (int subtype : {static_cast<int>(SF_FORMAT_FLOAT), inputSubtype, static_cast<int>(SF_FORMAT_PCM_24),
                        static_cast<int>(SF_FORMAT_PCM_16), static_cast<int>(SF_FORMAT_VORBIS)}) {
        if (formatWorks(major | subtype, channels)) return major | subtype;
    }
    throw ToolError("no sample format fits '" + outputPath + "' with " + std::to_string(channels) + " channels");
}

std::string describeFormat(int format) {
    SF_FORMAT_INFO major{};
    major.format = format & SF_FORMAT_TYPEMASK;
    std::string text = sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name != nullptr
                           ? major.name
                           : "unknown format";
    SF_FORMAT_INFO sub{};
    sub.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &sub, sizeof sub) == 0 && sub.name != nullptr)
        text += std::string(", ") + sub.name;
    return text;
}

}  // namespace vhost
