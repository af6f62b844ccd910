#include "shredder/wipe.h"

#include "platform/binary_file.h"
#include "platform/platform.h"
#include "shredder/modDestroyFile.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace kalmira::shredder {

std::int64_t BlockCount(std::int64_t length) { return (length < 0 ? 0 : length) / kBlockSize + 1; }

std::int64_t ProgressStep(Method method, std::int64_t blockCount) {
    std::int64_t step = method == Method::Normal ? blockCount / 100 : (blockCount + 1) * 7 / 100;
    return step < 1 ? 1 : step;
}

namespace {

// One pass over the open file from its first byte. The pass is flushed to
// the device before it returns: otherwise the page cache would merge the
// passes and only the last one would ever reach the disk.
bool writePass(platform::BinaryFile &f, const std::string &path, int pass, Method method, std::uint8_t pattern,
               std::int64_t &runningBlock, int &percent, WipeObserver &observer) {
    const std::int64_t length = f.size();
    if (length < 0) return false;
    const std::int64_t blocks = BlockCount(length);
    const std::int64_t step = ProgressStep(method, blocks);
    const std::vector<std::uint8_t> buffer(kBlockSize, pattern);
    for (std::int64_t b = 1; b <= blocks; ++b) {
        // "normal" counts per pass, "intensiv" over all passes together.
        const std::int64_t number = method == Method::Normal ? b : ++runningBlock;
        if (number % step == 0) {
            if (percent < 99) ++percent;
            observer.progress(percent);
        }
        if (!f.writeAt((b - 1) * kBlockSize, buffer.data(), buffer.size())) return false;
    }
    if (!f.flush()) return false;
    observer.passWritten(pass, path);
    return true;
}

} // namespace

WipeResult wipe(const std::string &path, Method method, WipeObserver &observer) {
    if (is_link(path)) return WipeResult::IsLink;
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::ReadWrite, false))
        return is_link(path) ? WipeResult::IsLink : WipeResult::OpenFailed;
    std::int64_t runningBlock = 0;
    int percent = 0;
    const int passes = method == Method::Normal ? 1 : 7;
    for (int pass = 1; pass <= passes; ++pass) {
        if (!f.denotedBy(path)) return WipeResult::Replaced;
        const std::uint8_t pattern = method == Method::Normal ? 0x00 : kIntensivPatterns[pass - 1];
        if (!writePass(f, path, pass, method, pattern, runningBlock, percent, observer)) return WipeResult::OpenFailed;
    }
    if (!f.denotedBy(path)) return WipeResult::Replaced;
    f.close();
    wipe_total(path, observer);
    // Hidden files count too: the verdict must not call a surviving file destroyed.
    return file_exists(path) ? WipeResult::NotDeleted : WipeResult::Destroyed;
}

void wipe_total(const std::string &path, WipeObserver &observer) {
    for (int clears = 0;; ++clears) {
        if (!file_exists(path)) {
            observer.fileNotFound();
            return;
        }
        if (is_plain_file(path)) break;
        // Attributes that never clear would loop for ever; leave such a file.
        if (clears == kMaxAttributeClears) return;
        clear_attributes(path);
    }
    observer.beforeTruncate(path);
    if (truncate_file(path)) rename_and_kill(path);
}

int ProgressBarWidth(int boxWidth, int percent, double full) {
    if (full == 0) full = 100;
    if (percent < 0) percent = 0;
    if (percent > 100) {
        const auto whole = static_cast<long long>(full);
        percent = whole > 0 ? static_cast<int>(percent % whole) : 0;
    }
    if (percent == 0) return 0;
    const double scale = boxWidth / full;
    // 50 twips at 15 twips per pixel.
    const int width = static_cast<int>(std::trunc(percent * scale)) - 50 / 15;
    return width > 0 ? width : 0;
}

} // namespace kalmira::shredder
