// Streaming audio file access through libsndfile: a reader that always yields
// the plug-in's channel layout (mono is widened to stereo) and a writer whose
// format follows the input unless the output name asks for another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sndfile.h>

namespace vhost {

class AudioReader {
public:
    // Throws ToolError when the file is missing or not a readable audio file.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    std::int64_t frames() const { return info_.frames; }
    int format() const { return info_.format; }

    // Reads up to `frames` frames into interleaved storage sized for them;
    // returns how many were read (0 at the end).
    std::int64_t readFloat(float* interleaved, std::int64_t frames);
    std::int64_t readDouble(double* interleaved, std::int64_t frames);

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
};

class AudioWriter {
public:
    AudioWriter(const std::string& path, int format, int channels, int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void writeFloat(const float* interleaved, std::int64_t frames);
    void writeDouble(const double* interleaved, std::int64_t frames);
    // Flushes and closes; errors surface here rather than being lost in the destructor.
    void finish();
    // Closes without reporting anything, for a render being abandoned.
    void abandon() noexcept;

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
};

// Major format named by a file extension ("wav", "flac", ...), or 0.
int majorFormatForExtension(const std::string& path);

// The format an output file gets: the extension's major format (else the
// input's), with 32-bit float samples where that format stores them, else the
// input's subtype, else the format's usual one. Throws ToolError if none fits.
int chooseOutputFormat(int inputFormat, const std::string& outputPath, int channels);

// "WAV float32", "FLAC 16-bit" and the like, for messages.
std::string describeFormat(int format);

}  // namespace vhost
