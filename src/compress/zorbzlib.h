// Interface of the runtime-loaded compression library ZorbZlib.
#pragma once

#include <cstdint>

extern "C" {
// Progress in percent, 0..100; the return value is ignored.
typedef int32_t (*ZorbProgress)(int32_t percent);

// 0 on success, -200 when the source cannot be opened, other negative codes
// for every other failure. The destination is replaced.
typedef int32_t (*CompFileFn)(const char *dest, const char *src, int32_t level, ZorbProgress progress);
typedef int32_t (*DecompFileFn)(const char *dest, const char *src, ZorbProgress progress);

// CompFile that gives up with kOutputTooLarge (and no destination) as soon as
// the compressed output would exceed maxOutput bytes; maxOutput < 0: no limit.
// A third function keeps the two above exactly as they were: the progress
// callback sees only a percentage of the input, never the output size.
typedef int32_t (*CompFileLimitedFn)(const char *dest, const char *src, int32_t level, ZorbProgress progress,
                                     int64_t maxOutput);
}

namespace zorb {
constexpr int32_t kOk = 0;
constexpr int32_t kSourceNotOpened = -200;
constexpr int32_t kDestNotOpened = -201;
constexpr int32_t kReadError = -202;
constexpr int32_t kWriteError = -203;
constexpr int32_t kCorruptData = -204;
constexpr int32_t kTruncatedData = -205;
constexpr int32_t kBadLevel = -206;
constexpr int32_t kInternal = -207;
constexpr int32_t kOutputTooLarge = -208;
} // namespace zorb
