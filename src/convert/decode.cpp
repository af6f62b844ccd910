// Picture decoding: raster formats through Qt's image readers, metafiles
// through libwmf (wmf_render.cpp).
#include "convert/modConvert.h"
#include "convert/wmf_render.h"

#include "platform/platform.h"

#include <QImage>
#include <QImageReader>

#include <fstream>
#include <iterator>

namespace kalmira::convert {

namespace {

// Whole file, or nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadFile(const std::string &path) {
    std::ifstream in(platform::NativeFilePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

Picture FromRaster(WmfRaster &&r) {
    return Picture{r.width, r.height, std::move(r.pixels)};
}

// Transparent parts are drawn over white, as on an empty picture box. Taken
// by value so that the decoded image is freed here: a camera picture must not
// stay in memory twice.
Picture FromImage(QImage img) {
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const bool alpha = img.format() == QImage::Format_ARGB32;
    Picture p{img.width(), img.height(), {}};
    p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    auto *out = p.pixels.data();
    for (int y = 0; y < p.height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < p.width; ++x) {
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
    return p;
}

// The first bytes, enough to tell a metafile; nullopt when unreadable.
std::optional<std::vector<std::uint8_t>> ReadHead(const std::string &path) {
    std::ifstream in(platform::NativeFilePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> head(32);
    in.read(reinterpret_cast<char *>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) return std::nullopt;
    return head;
}

// Raster formats straight from the file: no copy of the file in memory.
std::optional<Picture> DecodeRaster(const std::string &path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    QImage img = reader.read();
    if (img.isNull() || img.width() < 1 || img.height() < 1) return std::nullopt;
    return FromImage(std::move(img));
}

std::optional<Picture> RenderMetafile(const std::string &path, int width = 0, int height = 0) {
    auto bytes = ReadFile(path);
    if (!bytes) return std::nullopt;
    WmfRaster r = RenderWmf(*bytes, width, height);
    if (r.pixels.empty()) return std::nullopt;
    return FromRaster(std::move(r));
}

} // namespace

std::optional<Picture> LoadPicture(const std::string &path) {
    auto head = ReadHead(path);
    if (!head) return std::nullopt;
    return LooksLikeWmf(*head) ? RenderMetafile(path) : DecodeRaster(path);
}

std::optional<bool> IsMetafile(const std::string &path) {
    auto head = ReadHead(path);
    if (!head) return std::nullopt;
    return LooksLikeWmf(*head);
}

std::optional<Picture> LoadPictureStretched(const std::string &path, int width, int height) {
    if (width < 1 || height < 1) return std::nullopt;
    auto head = ReadHead(path);
    if (!head) return std::nullopt;
    if (LooksLikeWmf(*head)) return RenderMetafile(path, width, height);
    auto p = DecodeRaster(path);
    if (!p) return std::nullopt;
    if (p->width == width && p->height == height) return p;
    return ScaleSmooth(*p, width, height);
}

} // namespace kalmira::convert
