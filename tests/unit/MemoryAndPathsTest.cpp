#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "runtime/ModulePath.h"
#include "runtime/TPlexa.h"
#include "runtime/Trace.h"

using namespace plexa;

namespace {
struct BareEffect : TPlexa {};

int gBeeps = 0;
int countingBeep(unsigned frequency, unsigned duration) {
    EXPECT_EQ(frequency, 2000u);
    EXPECT_EQ(duration, 200u);
    ++gBeeps;
    return 7;
}
}  // namespace

TEST(SparseMemory, BlocksAreCreatedOnTouchAndSizedBeforeUse) {
    BareEffect effect;
    EXPECT_TRUE(effect.memoryBlocks.empty());
    EXPECT_EQ(effect.memoryCell(70000), 0.0);
    ASSERT_EQ(effect.memoryBlocks.count(1), 1u);
    EXPECT_EQ(effect.memoryBlocks[1].size(), 65536u);

    effect.memoryCell(65535) = 1.5;
    effect.memoryCell(65536) = 2.5;
    EXPECT_EQ(effect.memoryBlocks[0][65535], 1.5);
    EXPECT_EQ(effect.memoryBlocks[1][0], 2.5);

    effect.memoryCell(-1) = 3.5;  // the block below zero, at its last offset
    ASSERT_EQ(effect.memoryBlocks.count(-1), 1u);
    EXPECT_EQ(effect.memoryBlocks[-1][65535], 3.5);
    EXPECT_EQ(effect.memoryCell(INT32_MIN), 0.0);
    EXPECT_EQ(effect.memoryCell(INT32_MAX), 0.0);

    effect.clearMemory();
    EXPECT_TRUE(effect.memoryBlocks.empty());
    EXPECT_EQ(effect.memoryCell(65535), 0.0);
}

TEST(SparseMemory, OpeningTheEffectEmptiesIt) {
    BareEffect effect;
    effect.memoryCell(5) = 9.0;
    effect.onOpen();
    EXPECT_EQ(effect.memoryCell(5), 0.0);
}

TEST(ModulePaths, NamesResolveBesideTheLibrary) {
    EXPECT_EQ(moduleDirectoryOf("/usr/lib/vst/Tonarvo.so"), "/usr/lib/vst/");
    EXPECT_EQ(moduleDirectoryOf("C:\\VST\\Tonarvo.dll"), "C:\\VST\\");
    EXPECT_EQ(moduleDirectoryOf("C:\\VST/mixed\\Tonarvo.dll"), "C:\\VST/mixed\\");
    EXPECT_EQ(moduleDirectoryOf("Tonarvo.so"), "");

    platform::Hooks hooks;
    hooks.modulePath = "/opt/plugins/Tonarvo.so";
    {
        ScopedHooks scoped(hooks);
        EXPECT_EQ(resolvePath("image.png"), "/opt/plugins/image.png");
        EXPECT_EQ(resolvePath("\\image.png"), "/opt/plugins/image.png");
        EXPECT_EQ(resolvePath("/image.png"), "/opt/plugins/image.png");
        EXPECT_EQ(resolvePath("//image.png"), "/opt/plugins//image.png");  // only one separator is dropped
    }
    hooks.modulePath = "Tonarvo.so";
    ScopedHooks scoped(hooks);
    EXPECT_EQ(resolvePath("image.png"), "image.png");
}

TEST(ModulePaths, TheLibraryFindsItsOwnFile) {
    // Linked statically into the test, the "library" is the test executable.
    const std::string directory = moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_TRUE(std::filesystem::is_directory(directory));
}

TEST(Trace, AppendsOneLinePerMessageAndBeeps) {
    TempFolder folder;
    const std::string log = folder.file("wisp.log.txt");
    platform::Hooks hooks;
    hooks.traceFilePath = log.c_str();
    hooks.beep = &countingBeep;
    ScopedHooks scoped(hooks);
    gBeeps = 0;

    EXPECT_EQ(traceMessage("Unable to load: /a.png"), 7);
    EXPECT_EQ(traceMessage("second"), 7);
    EXPECT_EQ(gBeeps, 2);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Unable to load: /a.png\nsecond\n");
}

TEST(Trace, UnopenableFileDropsTheMessageSilently) {
    platform::Hooks hooks;
    hooks.traceFilePath = "/nonexistent-folder-for-tonarvo/wisp.log.txt";
    hooks.beep = &countingBeep;
    ScopedHooks scoped(hooks);
    gBeeps = 0;
    EXPECT_EQ(traceMessage("lost"), 0);
    EXPECT_EQ(gBeeps, 0);
}
