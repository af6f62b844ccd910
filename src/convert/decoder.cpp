// The engine's side of the picture decoders: the module is loaded on the
// first picture, from beside the program or from the private library folder.
#include "convert/decoder_api.h"
#include "convert/image_memory.h"
#include "convert/modConvert.h"

#include "platform/platform.h"

#include <mutex>

namespace kalmira::convert {

namespace {

std::string ModulePath() {
    const std::string name = DecoderFileName();
    const std::string folder = platform::ProgramFolder();
    for (const std::string &p : {folder + name, folder + KALMIRA_LIBDIR_FROM_BINDIR "/" + name,
                                 std::string(KALMIRA_PRIVATE_LIBDIR_FULL "/") + name})
        if (platform::IsRegularFile(p)) return p;
    return folder + name;
}

struct Module {
    std::mutex mutex;
    platform::SharedLibrary library;
    const KalmiraDecoder *api = nullptr;
    bool tried = false;
    bool limitWanted = false;
    double metafileSeconds = 0;
};

Module &TheModule() {
    static Module m;
    return m;
}

// Loaded once; later calls only look. A missing or foreign module stays null.
const KalmiraDecoder *Decoders() {
    Module &m = TheModule();
    std::lock_guard lock(m.mutex);
    if (m.tried) return m.api;
    m.tried = true;
    if (!m.library.open(ModulePath())) return nullptr;
    const auto entry = reinterpret_cast<KalmiraDecoderEntry>(m.library.symbol(kDecoderEntryName));
    const KalmiraDecoder *api = entry ? entry() : nullptr;
    if (!api || api->version != kKalmiraDecoderVersion) return nullptr;
    if (m.limitWanted) api->setMemoryLimitMb(ImageMemoryLimitMb(platform::PhysicalMemoryBytes()));
    if (m.metafileSeconds > 0) api->setMetafileTimeLimit(m.metafileSeconds);
    m.api = api;
    return api;
}

std::uint32_t *Room(void *context, int width, int height) {
    auto *p = static_cast<Picture *>(context);
    if (width < 1 || height < 1) return nullptr;
    p->width = width;
    p->height = height;
    p->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return p->pixels.data();
}

std::optional<Picture> Decode(const std::string &path, int width, int height) {
    const KalmiraDecoder *d = Decoders();
    if (!d) return std::nullopt;
    Picture p;
    if (d->load(path.c_str(), width, height, Room, &p) != 1 || p.empty()) return std::nullopt;
    return p;
}

} // namespace

std::string DecoderFileName() { return platform::SharedLibraryFileName(kDecoderBaseName); }

bool DecodersAvailable() { return Decoders() != nullptr; }

std::optional<Picture> LoadPicture(const std::string &path) { return Decode(path, 0, 0); }

std::optional<bool> IsMetafile(const std::string &path) {
    const KalmiraDecoder *d = Decoders();
    const int r = d ? d->isMetafile(path.c_str()) : -1;
    if (r < 0) return std::nullopt;
    return r == 1;
}

std::optional<Picture> LoadPictureStretched(const std::string &path, int width, int height) {
    if (width < 1 || height < 1) return std::nullopt;
    const std::optional<bool> metafile = IsMetafile(path);
    if (!metafile) return std::nullopt;
    if (*metafile) return Decode(path, width, height);
    auto p = Decode(path, 0, 0);
    if (!p || (p->width == width && p->height == height)) return p;
    return ScaleSmooth(*p, width, height);
}

void SetMetafileTimeLimit(double seconds) {
    Module &m = TheModule();
    {
        std::lock_guard lock(m.mutex);
        m.metafileSeconds = seconds;
        if (!m.api) return;
    }
    m.api->setMetafileTimeLimit(seconds);
}

void ApplyImageMemoryLimit() {
    Module &m = TheModule();
    std::lock_guard lock(m.mutex);
    if (m.limitWanted) return;
    m.limitWanted = true;
    if (m.api) m.api->setMemoryLimitMb(ImageMemoryLimitMb(platform::PhysicalMemoryBytes()));
}

std::optional<OversizedPicture> TooLargeToDecode(const std::string &path) {
    const KalmiraDecoder *d = Decoders();
    int width = 0, height = 0;
    if (!d || d->headerSize(path.c_str(), &width, &height) != 1) return std::nullopt;
    const std::int64_t limit = d->memoryLimitMb();
    if (limit <= 0) return std::nullopt;
    const std::int64_t needed = DecodedMegabytes(width, height);
    if (needed <= limit) return std::nullopt;
    return OversizedPicture{width, height, needed, limit};
}

} // namespace kalmira::convert
