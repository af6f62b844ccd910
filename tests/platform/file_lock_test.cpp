#include "platform/file_lock.h"

#include "child.h"
#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::platform;
using test::SteppedChild;
using Kind = FileLock::Kind;
using Result = FileLock::Result;
using std::chrono::milliseconds;

namespace {

// Another process holding `kind` on `path` until told to go on.
int holdIn(SteppedChild &self, const std::string &path, Kind kind) {
    FileLock lock;
    if (lock.acquire(path, kind, milliseconds(0)) != Result::Locked) return 1;
    self.step();
    return 0;
}

Result tryLock(const std::string &path, Kind kind, milliseconds wait = milliseconds(50)) {
    FileLock lock;
    return lock.acquire(path, kind, wait);
}

} // namespace

TEST(FileLock, ExclusiveExcludesEveryoneSharedOnlyWriters) {
    test::TempDir dir;
    const std::string carrier = dir.file("bild.bmp");
    test::WriteAll(carrier, std::string(100, 'x'));
    {
        SteppedChild writer([&](SteppedChild &c) { return holdIn(c, carrier, Kind::Exclusive); });
        ASSERT_TRUE(writer.nextStep());
        EXPECT_EQ(tryLock(carrier, Kind::Shared), Result::Busy);
        EXPECT_EQ(tryLock(carrier, Kind::Exclusive), Result::Busy);
        writer.go();
        EXPECT_EQ(writer.wait(), 0);
    }
    {
        SteppedChild reader([&](SteppedChild &c) { return holdIn(c, carrier, Kind::Shared); });
        ASSERT_TRUE(reader.nextStep());
        EXPECT_EQ(tryLock(carrier, Kind::Shared), Result::Locked);
        EXPECT_EQ(tryLock(carrier, Kind::Exclusive), Result::Busy);
        reader.go();
        EXPECT_EQ(reader.wait(), 0);
    }
    EXPECT_EQ(tryLock(carrier, Kind::Exclusive), Result::Locked);
    EXPECT_EQ(tryLock(dir.file("fehlt"), Kind::Shared), Result::Failed);
}

TEST(FileLock, WaitsForARunThatEndsWithinTheWait) {
    test::TempDir dir;
    const std::string carrier = dir.file("ton.wav");
    test::WriteAll(carrier, std::string(100, 'x'));
    SteppedChild writer([&](SteppedChild &c) {
        FileLock lock;
        if (lock.acquire(carrier, Kind::Exclusive) != Result::Locked) return 1;
        c.step();
        ::usleep(200 * 1000);
        return 0; // the lock ends with the process
    });
    ASSERT_TRUE(writer.nextStep());
    writer.go();
    FileLock lock;
    EXPECT_EQ(lock.acquire(carrier, Kind::Exclusive, milliseconds(3000)), Result::Locked);
    EXPECT_TRUE(lock.held());
    FileLock moved = std::move(lock);
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(tryLock(carrier, Kind::Shared), Result::Busy);
    moved.release();
    EXPECT_EQ(tryLock(carrier, Kind::Shared), Result::Locked);
    EXPECT_EQ(writer.wait(), 0);
}
