#include "compress/ZorbComprFile.h"

#include "compress/zorbzlib.h"
#include "platform/platform.h"

#include <cstdio>

namespace kalmira {

namespace {

ProgressHook g_hook;
std::string g_pathOverride;

int32_t progressCallback(int32_t percent) {
    if (g_hook) g_hook(percent);
    return 0;
}

std::string trimBlanks(const std::string &s) {
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

struct Library {
    platform::SharedLibrary lib;
    CompFileFn comp = nullptr;
    DecompFileFn decomp = nullptr;
    CompFileLimitedFn compLimited = nullptr; // absent from older builds of the library
    std::string loadedFrom;

    bool ensure() {
        std::string path = ZorbLibraryPath();
        if (lib.isOpen() && loadedFrom == path) return comp && decomp;
        comp = nullptr;
        decomp = nullptr;
        compLimited = nullptr;
        if (!lib.open(path)) return false;
        loadedFrom = path;
        comp = reinterpret_cast<CompFileFn>(lib.symbol("CompFile"));
        decomp = reinterpret_cast<DecompFileFn>(lib.symbol("DecompFile"));
        compLimited = reinterpret_cast<CompFileLimitedFn>(lib.symbol("CompFileLimited"));
        return comp && decomp;
    }
};

Library &library() {
    static Library l;
    return l;
}

// Results are 16-bit values widened to 32 bits.
int32_t widen(int32_t r) { return static_cast<int16_t>(r); }

} // namespace

void SetCompressionProgressHook(ProgressHook hook) { g_hook = std::move(hook); }

std::string ZorbLibraryFileName() { return platform::SharedLibraryFileName("ZorbZlib"); }

// Beside the program in the build tree; installed, in the private library
// folder (KALMIRA_LIBDIR_FROM_BINDIR, relative to the programs' folder).
std::string ZorbLibraryPath() {
    if (!g_pathOverride.empty()) return g_pathOverride;
    std::string beside = platform::ProgramFolder() + ZorbLibraryFileName();
    if (platform::IsRegularFile(beside)) return beside;
    return platform::ProgramFolder() + KALMIRA_LIBDIR_FROM_BINDIR "/" + ZorbLibraryFileName();
}

bool ZorbLibraryPresent() { return platform::IsRegularFile(ZorbLibraryPath()); }

std::string ZorbMissingMessage() { return "Die Datei " + ZorbLibraryFileName() + " wurde nicht gefunden! "; }

void ZorbComprFile::SetLibraryPathOverride(const std::string &path) { g_pathOverride = path; }

bool ZorbComprFile::checkPaths() {
    if (trimBlanks(OutputFile).empty()) {
        status_ = kEmptyOutput;
        return false;
    }
    if (trimBlanks(InputFile).empty()) {
        status_ = kEmptyInput;
        return false;
    }
    if (!library().ensure()) {
        status_ = kLibraryMissing;
        return false;
    }
    return true;
}

void ZorbComprFile::Compress() {
    if (!checkPaths()) return;
    const std::string out = platform::NativeFilePath(OutputFile);
    const std::string in = platform::NativeFilePath(InputFile);
    Library &l = library();
    if (MaxOutput >= 0 && l.compLimited) {
        status_ = widen(l.compLimited(out.c_str(), in.c_str(), Level, &progressCallback, MaxOutput));
        return;
    }
    status_ = widen(l.comp(out.c_str(), in.c_str(), Level, &progressCallback));
    // An older library without the limit: the same verdict, only later.
    if (status_ == zorb::kOk && MaxOutput >= 0 && platform::FileSize(OutputFile) > MaxOutput) {
        std::remove(out.c_str());
        status_ = kTooLarge;
    }
}

void ZorbComprFile::Decompress() {
    if (!checkPaths()) return;
    status_ = widen(library().decomp(platform::NativeFilePath(OutputFile).c_str(),
                                     platform::NativeFilePath(InputFile).c_str(), &progressCallback));
}

} // namespace kalmira
