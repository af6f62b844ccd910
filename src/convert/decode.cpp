// Picture decoding: raster formats through Qt's image readers, metafiles
// through libwmf (wmf_render.cpp).
#include "convert/modConvert.h"
#include "convert/wmf_render.h"

#include "platform/platform.h"

#include <QBuffer>
#include <QByteArray>
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

// Transparent parts are drawn over white, as on an empty picture box.
Picture FromImage(const QImage &decoded) {
    const QImage img = decoded.convertToFormat(QImage::Format_ARGB32);
    Picture p{img.width(), img.height(), {}};
    p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    auto *out = p.pixels.data();
    for (int y = 0; y < p.height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < p.width; ++x) {
            const QRgb c = row[x];
            const int a = qAlpha(c);
            auto mix = [a](int v) { return static_cast<std::uint32_t>((v * a + 255 * (255 - a) + 127) / 255); };
            *out++ = (mix(qRed(c)) << 16) | (mix(qGreen(c)) << 8) | mix(qBlue(c));
        }
    }
    return p;
}

std::optional<Picture> Decode(const std::vector<std::uint8_t> &bytes) {
    if (LooksLikeWmf(bytes)) {
        WmfRaster r = RenderWmf(bytes);
        if (r.pixels.empty()) return std::nullopt;
        return FromRaster(std::move(r));
    }
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()),
                                              static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QImage img = reader.read();
    if (img.isNull() || img.width() < 1 || img.height() < 1) return std::nullopt;
    return FromImage(img);
}

} // namespace

std::optional<Picture> LoadPicture(const std::string &path) {
    auto bytes = ReadFile(path);
    if (!bytes || bytes->empty()) return std::nullopt;
    return Decode(*bytes);
}

std::optional<Picture> LoadPictureStretched(const std::string &path, int width, int height) {
    if (width < 1 || height < 1) return std::nullopt;
    auto bytes = ReadFile(path);
    if (!bytes || bytes->empty()) return std::nullopt;
    if (LooksLikeWmf(*bytes)) {
        WmfRaster r = RenderWmf(*bytes, width, height);
        if (r.pixels.empty()) return std::nullopt;
        return FromRaster(std::move(r));
    }
    auto p = Decode(*bytes);
    if (!p) return std::nullopt;
    if (p->width == width && p->height == height) return p;
    return ScaleSmooth(*p, width, height);
}

} // namespace kalmira::convert
