// The compression component: file-to-file compression through the
// runtime-loaded library ZorbZlib found in the program's folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace kalmira {

// Called on every progress report (the windows repaint their caption there).
using ProgressHook = std::function<void(int percent)>;
void SetCompressionProgressHook(ProgressHook hook);

// Sets the hook for a scope and clears it however the scope ends.
class CompressionProgressScope {
public:
    explicit CompressionProgressScope(ProgressHook hook) { SetCompressionProgressHook(std::move(hook)); }
    ~CompressionProgressScope() { SetCompressionProgressHook(nullptr); }
    CompressionProgressScope(const CompressionProgressScope &) = delete;
    CompressionProgressScope &operator=(const CompressionProgressScope &) = delete;
};

// File name of the library on this platform and its expected full path.
std::string ZorbLibraryFileName();
std::string ZorbLibraryPath();
bool ZorbLibraryPresent();
// "Die Datei <name> wurde nicht gefunden! "
std::string ZorbMissingMessage();

class ZorbComprFile {
public:
    static constexpr int32_t kEmptyOutput = -1501;
    static constexpr int32_t kEmptyInput = -1500;
    static constexpr int32_t kLibraryMissing = -1502;
    // Compress stopped: the output would have exceeded MaxOutput (no output file).
    static constexpr int32_t kTooLarge = -208;

    std::string InputFile;
    std::string OutputFile;
    int32_t Level = 6;
    // Largest acceptable compressed size in bytes; negative: no limit.
    std::int64_t MaxOutput = -1;

    int32_t ResultStatus() const { return status_; }

    void Compress();
    void Decompress();

    // Overrides where the library is loaded from (tests, installed layouts).
    static void SetLibraryPathOverride(const std::string &path);

private:
    bool checkPaths();
    int32_t status_ = 0;
};

} // namespace kalmira
