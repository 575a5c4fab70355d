#include "tools/vsthost/AudioFile.h"

#include <gtest/gtest.h>

#include "tools/vsthost/Errors.h"

using namespace vhost;

TEST(OutputFormat, ExtensionsNameFormats) {
    EXPECT_EQ(majorFormatForExtension("a.wav"), SF_FORMAT_WAV);
    EXPECT_EQ(majorFormatForExtension("dir.x/A.WAV"), SF_FORMAT_WAV);
    EXPECT_EQ(majorFormatForExtension("a.flac"), SF_FORMAT_FLAC);
    EXPECT_EQ(majorFormatForExtension("a.aif"), SF_FORMAT_AIFF);
    EXPECT_EQ(majorFormatForExtension("a.aiff"), SF_FORMAT_AIFF);
    EXPECT_EQ(majorFormatForExtension("a.ogg"), SF_FORMAT_OGG);
    EXPECT_EQ(majorFormatForExtension("a.out"), 0);
    EXPECT_EQ(majorFormatForExtension("noextension"), 0);
}

TEST(OutputFormat, FloatWhereStorableElseTheInputsSubtype) {
    const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const int flac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    const int wavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    EXPECT_EQ(chooseOutputFormat(wav16, "o.wav", 2), wavFloat);
    EXPECT_EQ(chooseOutputFormat(flac16, "o.flac", 2), flac16);
    EXPECT_EQ(chooseOutputFormat(flac16, "o.wav", 2), wavFloat);
    EXPECT_EQ(chooseOutputFormat(flac16, "o.aiff", 2), SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    // Float cannot go into FLAC: the widest integer it holds instead.
    EXPECT_EQ(chooseOutputFormat(wavFloat, "o.flac", 2), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    // An extension that names nothing keeps the input's container.
    EXPECT_EQ(chooseOutputFormat(flac16, "o.out", 2), flac16);
    EXPECT_EQ(chooseOutputFormat(wav16, "o", 1), wavFloat);
}

TEST(AudioReading, MissingAndNonAudioFilesAreToolErrors) {
    EXPECT_THROW(AudioReader("/nonexistent/file.wav"), ToolError);
    EXPECT_THROW(AudioReader("/"), ToolError);
    EXPECT_THROW(AudioReader("/proc/self/cmdline"), ToolError);
}
