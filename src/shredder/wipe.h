// Overwriting a file with fixed patterns, then truncating, renaming and
// deleting it. Plain C++: the window follows the run through WipeObserver.
#pragma once

#include <cstdint>
#include <string>

namespace kalmira::shredder {

enum class Method {
    Normal,
    Intensiv
};

constexpr int kBlockSize = 4096;
// Fill bytes of the seven passes of the intensive method.
constexpr std::uint8_t kIntensivPatterns[7] = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0xF6};
// wipe_total gives up on attributes that do not clear after this many tries.
constexpr int kMaxAttributeClears = 3;

// Blocks written in one pass: length \ 4096 + 1, so a pass never stops short
// of the file's last byte (and an exact multiple gains one block).
std::int64_t BlockCount(std::int64_t length);
// Blocks between two progress updates, at least 1.
std::int64_t ProgressStep(Method method, std::int64_t blockCount);

class WipeObserver {
public:
    virtual ~WipeObserver() = default;
    // At every progress step, before the block is written; percent stays <= 99.
    virtual void progress(int /*percent*/) {}
    // After pass `pass` (1-based) has been written, flushed to the device and closed.
    virtual void passWritten(int /*pass*/, const std::string & /*path*/) {}
    // Attributes are plain, truncation comes next.
    virtual void beforeTruncate(const std::string & /*path*/) {}
    // wipe_total found no file under the path and left it alone.
    virtual void fileNotFound() {}
};

enum class WipeResult {
    Destroyed,  // no file under the path any more
    NotDeleted, // overwritten, but still there (truncation, rename or delete failed)
    OpenFailed, // could not be opened, written or flushed; later passes skipped
    IsLink,     // a symbolic link: left alone, and so is its target
    Replaced,   // the path came to name another file or a link midway: stopped there
};

// Overwrites the file with the method's passes, then runs wipe_total and
// judges by whether a file is still found under the path. A symbolic link is
// refused untouched: overwriting would empty the target, and deleting would
// remove only the link, leaving the emptied target behind. The file is
// opened once, never through a link, and every pass and the truncation
// first check that the path still names it.
WipeResult wipe(const std::string &path, Method method, WipeObserver &observer);

// Makes the attributes plain, truncates, renames and deletes. Each step runs
// only when the one before succeeded; the caller judges by the file's presence.
void wipe_total(const std::string &path, WipeObserver &observer);

// Width in pixels of the progress bar in a box `boxWidth` wide: a negative
// percent counts as 0, one above 100 wraps modulo `full`; the bar ends
// 50 twips short of its share. 0 means "no bar".
int ProgressBarWidth(int boxWidth, int percent, double full = 100);

} // namespace kalmira::shredder
