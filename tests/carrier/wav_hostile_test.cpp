// Regression inputs of the WAV walk found by hardening (tests/data/inspect).
#include "carrier/wav.h"

#include <gtest/gtest.h>

using namespace kalmira::carrier;

TEST(WavHostile, EmptyChunksEndTheWalkAtTheLimit) {
    // 5,000 chunks of size 0 after "fmt ": one line per 8 bytes without a limit.
    WavChunks c;
    ASSERT_EQ(ReadWavChunks(KALMIRA_TEST_DATA "/inspect/empty_chunks.wav", c), WavRead::Ok);
    EXPECT_EQ(c.ids.size(), kMaxChunks);
    EXPECT_EQ(c.ids.front(), "fmt ");
    EXPECT_EQ(c.ids.back(), "    ");
    EXPECT_EQ(c.format.sampleRate, 8000);
    // No "data" chunk within the limit: no playing time.
    EXPECT_EQ(WavSeconds(KALMIRA_TEST_DATA "/inspect/empty_chunks.wav"), -1);
}
