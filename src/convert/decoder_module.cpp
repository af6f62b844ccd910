// The picture decoders, built as a module of their own (decoder_api.h):
// raster formats through Qt's image readers, metafiles through libwmf
// (wmf_render.cpp).
#include "convert/decoder_api.h"
#include "convert/wmf_render.h"

#include "platform/platform.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace kalmira::convert {

namespace {

// Whole file, or nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFile(const char *path) {
    std::ifstream in(platform::NativeFilePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

// The first bytes, enough to tell a metafile; nullopt when unreadable.
std::optional<std::vector<std::uint8_t>> ReadHead(const char *path) {
    std::ifstream in(platform::NativeFilePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> head(32);
    in.read(reinterpret_cast<char *>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) return std::nullopt;
    return head;
}

// Transparent parts are drawn over white, as on an empty picture box. Taken
// by value so that the decoded image is freed here: a camera picture must not
// stay in memory twice.
int FromImage(QImage img, KalmiraPixelRoom room, void *context) {
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const bool alpha = img.format() == QImage::Format_ARGB32;
    std::uint32_t *out = room(context, img.width(), img.height());
    if (!out) return 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = row[x];
            const int a = alpha ? qAlpha(c) : 255;
            if (a == 255) {
                *out++ = c & 0xFFFFFFu;
                continue;
            }
            auto mix = [a](int v) { return static_cast<std::uint32_t>((v * a + 255 * (255 - a) + 127) / 255); };
            *out++ = (mix(qRed(c)) << 16) | (mix(qGreen(c)) << 8) | mix(qBlue(c));
        }
    }
    return 1;
}

// Raster formats straight from the file: no copy of the file in memory.
int DecodeRaster(const char *path, KalmiraPixelRoom room, void *context) {
    QImageReader reader(QString::fromUtf8(path));
    reader.setDecideFormatFromContent(true);
    QImage img = reader.read();
    if (img.isNull() || img.width() < 1 || img.height() < 1) return 0;
    return FromImage(std::move(img), room, context);
}

int RenderMetafile(const char *path, int width, int height, KalmiraPixelRoom room, void *context) {
    auto bytes = ReadFile(path);
    if (!bytes) return 0;
    WmfRaster r = RenderWmf(*bytes, width, height);
    if (r.pixels.empty()) return 0;
    std::uint32_t *out = room(context, r.width, r.height);
    if (!out) return 0;
    std::copy(r.pixels.begin(), r.pixels.end(), out);
    return 1;
}

int Load(const char *path, int width, int height, KalmiraPixelRoom room, void *context) {
    auto head = ReadHead(path);
    if (!head) return 0;
    if (LooksLikeWmf(*head)) return RenderMetafile(path, width, height, room, context);
    return DecodeRaster(path, room, context);
}

int IsMetafile(const char *path) {
    auto head = ReadHead(path);
    if (!head) return -1;
    return LooksLikeWmf(*head) ? 1 : 0;
}

void SetMemoryLimitMb(int megabytes) { QImageReader::setAllocationLimit(megabytes); }
int MemoryLimitMb() { return QImageReader::allocationLimit(); }

int HeaderSize(const char *path, int *width, int *height) {
    QImageReader reader(QString::fromUtf8(path));
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (!size.isValid()) return 0;
    *width = size.width();
    *height = size.height();
    return 1;
}

void SetMetafileTimeLimit(double seconds) { SetWmfRenderTimeLimit(seconds); }

const KalmiraDecoder kDecoder{kKalmiraDecoderVersion, Load,       IsMetafile,          SetMemoryLimitMb,
                              MemoryLimitMb,          HeaderSize, SetMetafileTimeLimit};

} // namespace

} // namespace kalmira::convert

extern "C" __attribute__((visibility("default"))) const KalmiraDecoder *kalmira_decoder() {
    return &kalmira::convert::kDecoder;
}
