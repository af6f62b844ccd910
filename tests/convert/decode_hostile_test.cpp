// Regression inputs of the picture decoders found by fuzzing (tests/data/convert).
#include "convert/modConvert.h"
#include "convert/wmf_render.h"

#include "fakes.h"
#include "test_images.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::convert;
using kalmira::test::WriteAll;

TEST(DecodeHostile, MetafileAskingForAHugeRecordBufferIsRefused) {
    // Placeable metafile whose header claims a largest record of 0x44000008
    // words: libwmf would allocate 2.2 GB before reading a single record.
    const std::string path = KALMIRA_TEST_DATA "/convert/huge_max_record.wmf";
    EXPECT_FALSE(LoadPicture(path));
    EXPECT_FALSE(LoadPictureStretched(path, 40, 40));
    test::TempDir dir;
    EXPECT_EQ(ConvertImageToBmp(path, dir.file("out.bmp"), true), ConvertStatus::CannotDecode);
}

TEST(DecodeHostile, MetafileThatDrawsForeverIsStoppedAtTheTimeLimit) {
    // Small metafiles that keep libwmf's drawing busy for tens of seconds.
    SetWmfRenderTimeLimit(1);
    for (const char *name : {"slow_draw.wmf", "slow_draw2.wmf"})
        EXPECT_FALSE(LoadPicture(std::string(KALMIRA_TEST_DATA "/convert/") + name)) << name;
    SetWmfRenderTimeLimit(10);
    // A sound metafile still renders through the child process.
    test::TempDir dir;
    WriteAll(dir.file("r.wmf"), test::MakeWmf(40, 20, 0, 0, 20, 20, 0x123456));
    auto pic = LoadPicture(dir.file("r.wmf"));
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->at(10, 10), 0x123456u);
    EXPECT_EQ(pic->at(30, 10), 0xFFFFFFu);
}
