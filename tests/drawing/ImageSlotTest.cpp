#include <fstream>
#include <sstream>

#include "DrawingFixture.h"
#include "TestSupport.h"
#include "editor/CBitmap.h"
#include "editor/GfxPrimitives.h"

using namespace drawing_test;

namespace {

int gResourceLoads = 0;
int gBeeps = 0;

// The library's resources, except number 4, counting every load.
bool resourcesWithoutFour(int number, const unsigned char** bytes, std::size_t* size) {
    ++gResourceLoads;
    if (number == 4) return false;
    platform::Hooks none;
    const platform::Hooks mine = platform::setHooks(none);
    const bool found = platform::loadDataResource(number, bytes, size);
    platform::setHooks(mine);
    return found;
}

int countBeep(unsigned, unsigned) { return ++gBeeps; }

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ImageSlots : public DrawingTest {
protected:
    void SetUp() override {
        DrawingTest::SetUp();
        library = folder.file("Tonarvo.so");
        trace = folder.file("wisp.log.txt");
        hooks.loadDataResource = &resourcesWithoutFour;
        hooks.beep = &countBeep;
        hooks.modulePath = library.c_str();
        hooks.traceFilePath = trace.c_str();
        previous = platform::setHooks(hooks);
        gResourceLoads = gBeeps = 0;
    }
    void TearDown() override {
        platform::setHooks(previous);
        DrawingTest::TearDown();
    }
    TempFolder folder;
    std::string library, trace;
    platform::Hooks hooks, previous;
};

}  // namespace

TEST_F(ImageSlots, FirstUseLoadsTheBuiltInImageAndLaterUsesReuseIt) {
    plexa::ImageSlot& slot = effect->imageAt(3);
    EXPECT_EQ(slot.width, 50.0);
    EXPECT_EQ(slot.height, 50.0);
    ASSERT_NE(slot.bitmap, nullptr);
    const CBitmap* bitmap = slot.bitmap->bitmap;
    EXPECT_EQ(&effect->imageAt(3), &slot);
    EXPECT_EQ(slot.bitmap->bitmap, bitmap);
    EXPECT_EQ(gResourceLoads, 1);

    // Opening again registers the names again and keeps what was loaded.
    descriptor->dispatcher(descriptor, vst2::effOpen, 0, 0, nullptr, 0);
    EXPECT_EQ(effect->imageAt(3).bitmap->bitmap, bitmap);
    EXPECT_EQ(gResourceLoads, 1);
    EXPECT_EQ(gBeeps, 0);

    const double sizes[8][2] = {{99, 99}, {99, 99}, {99, 99}, {50, 50}, {100, 20}, {100, 20}, {100, 20}, {100, 20}};
    for (int handle : {0, 1, 2, 5, 6, 7}) {
        EXPECT_EQ(effect->imageAt(handle).width, sizes[handle][0]) << handle;
        EXPECT_EQ(effect->imageAt(handle).height, sizes[handle][1]) << handle;
    }
}

TEST_F(ImageSlots, MissingEverywhereTracesOnceAndIsNeverRetried) {
    plexa::ImageSlot& slot = effect->imageAt(4);
    EXPECT_EQ(slot.width, 0.0);
    ASSERT_NE(slot.bitmap, nullptr);
    EXPECT_EQ(slot.bitmap->bitmap, nullptr);
    EXPECT_EQ(readFile(trace), "Unable to load: " + folder.file("Clipping_OFF.png") + "\n");
    EXPECT_EQ(gBeeps, 1);
    effect->imageAt(4);
    EXPECT_EQ(gBeeps, 1);
    EXPECT_EQ(gResourceLoads, 1);
}

TEST_F(ImageSlots, TheFileBesideTheLibraryIsTheFallback) {
    // Put a copy of image 5 where image 4's file name points.
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(resourcesWithoutFour(5, &bytes, &size));
    std::ofstream(folder.file("Clipping_OFF.png"), std::ios::binary).write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    plexa::ImageSlot& slot = effect->imageAt(4);
    EXPECT_EQ(slot.width, 100.0);
    EXPECT_EQ(gBeeps, 0);
}

TEST_F(ImageSlots, AHandleWithoutANameGivesAnEmptySlotSilently) {
    plexa::ImageSlot& slot = effect->imageAt(42);
    EXPECT_EQ(slot.bitmap, nullptr);
    EXPECT_EQ(slot.width, 0.0);
    EXPECT_EQ(slot.height, 0.0);
    EXPECT_EQ(gBeeps, 0);
    EXPECT_EQ(gResourceLoads, 0);
}
