// Regression inputs of the picture decoders found by fuzzing (tests/data/convert).
#include "convert/modConvert.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::convert;

TEST(DecodeHostile, MetafileAskingForAHugeRecordBufferIsRefused) {
    // Placeable metafile whose header claims a largest record of 0x44000008
    // words: libwmf would allocate 2.2 GB before reading a single record.
    const std::string path = KALMIRA_TEST_DATA "/convert/huge_max_record.wmf";
    EXPECT_FALSE(LoadPicture(path));
    EXPECT_FALSE(LoadPictureStretched(path, 40, 40));
    test::TempDir dir;
    EXPECT_EQ(ConvertImageToBmp(path, dir.file("out.bmp"), true), ConvertStatus::CannotDecode);
}
