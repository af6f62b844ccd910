#include "convert/modConvert.h"

#include "convert/image_memory.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/temp_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <unordered_map>

namespace kalmira::convert {

PixelSize OptimisedSize(int width, int height) {
    const int w = std::max(width, 4), h = std::max(height, 4);
    const int r = w % 4;
    if (r == 3) return {w + 1, h + 1};
    return {w - r, h - r};
}

bool elim_padbytes(Picture &picture, const std::string &file) {
    const PixelSize target = OptimisedSize(picture.width, picture.height);
    const std::optional<bool> metafile = IsMetafile(file);
    if (!metafile) return false;
    if (*metafile) {
        auto redrawn = LoadPictureStretched(file, target.width, target.height);
        if (!redrawn) return false;
        picture = std::move(*redrawn);
        return true;
    }
    // Decoding a raster file again gives the same pixels: stretching the ones
    // in memory spares a second copy of a large picture.
    if (target != PixelSize{picture.width, picture.height})
        picture = ScaleSmooth(picture, target.width, target.height);
    return true;
}

namespace {

// Contributions of source pixels to each destination pixel along one axis:
// destination pixel i covers the source interval [i*S/D, (i+1)*S/D).
struct Taps {
    std::vector<int> first;
    std::vector<std::vector<float>> weights;
};

Taps MakeTaps(int src, int dst) {
    Taps t;
    t.first.resize(dst);
    t.weights.resize(dst);
    const double scale = static_cast<double>(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double a = i * scale, b = (i + 1) * scale;
        const int f = std::min(src - 1, static_cast<int>(std::floor(a)));
        const int l = std::max(f, std::min(src - 1, static_cast<int>(std::ceil(b)) - 1));
        t.first[i] = f;
        double sum = 0;
        for (int j = f; j <= l; ++j) {
            const double cover = std::max(0.0, std::min(b, j + 1.0) - std::max(a, static_cast<double>(j)));
            t.weights[i].push_back(static_cast<float>(cover));
            sum += cover;
        }
        for (float &w : t.weights[i]) w = sum > 0 ? static_cast<float>(w / sum) : 1.0f;
    }
    return t;
}

std::uint8_t Clamp8(float v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255));
}

} // namespace

Picture ScaleSmooth(const Picture &source, int width, int height) {
    Picture out{width, height, {}};
    if (source.empty() || width < 1 || height < 1) return out;
    const Taps tx = MakeTaps(source.width, width), ty = MakeTaps(source.height, height);

    // Horizontal pass into floats (3 channels), then vertical. Only the band
    // of source rows that the current output row needs is kept, so a large
    // picture is never held a second time as floats.
    std::deque<std::vector<float>> band;
    int bandFirst = 0;
    auto horizontal = [&](int y) {
        std::vector<float> row(static_cast<std::size_t>(width) * 3);
        float *m = row.data();
        for (int x = 0; x < width; ++x, m += 3) {
            float r = 0, g = 0, b = 0;
            for (std::size_t k = 0; k < tx.weights[x].size(); ++k) {
                const std::uint32_t c = source.at(tx.first[x] + static_cast<int>(k), y);
                const float w = tx.weights[x][k];
                r += w * ((c >> 16) & 0xFF);
                g += w * ((c >> 8) & 0xFF);
                b += w * (c & 0xFF);
            }
            m[0] = r, m[1] = g, m[2] = b;
        }
        return row;
    };
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int first = ty.first[y], last = first + static_cast<int>(ty.weights[y].size()) - 1;
        while (!band.empty() && bandFirst < first) band.pop_front(), ++bandFirst;
        if (band.empty()) bandFirst = first;
        while (bandFirst + static_cast<int>(band.size()) <= last)
            band.push_back(horizontal(bandFirst + static_cast<int>(band.size())));
        for (int x = 0; x < width; ++x) {
            float r = 0, g = 0, b = 0;
            for (std::size_t k = 0; k < ty.weights[y].size(); ++k) {
                const float *m = &band[static_cast<std::size_t>(first - bandFirst) + k][static_cast<std::size_t>(x) * 3];
                const float w = ty.weights[y][k];
                r += w * m[0], g += w * m[1], b += w * m[2];
            }
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                (static_cast<std::uint32_t>(Clamp8(r)) << 16) | (Clamp8(g) << 8) | Clamp8(b);
        }
    }
    return out;
}

std::uint32_t rgb_to_quad(std::uint32_t c) {
    const std::uint32_t green = (c & 0xFF00) / 256;
    const std::uint32_t blue = (c & 0xFF0000) / 65536;
    const std::uint32_t red = c & 0xFF;
    return green * 256 + blue + red * 65536;
}

std::int64_t DibRowSize(int width, int depth) {
    return (static_cast<std::int64_t>(width) * depth + 31) / 32 * 4;
}

namespace {

bool SupportedDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

void Put16(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

// Colour tables as 0x00RRGGBB (the byte order of a table entry on disk).
std::vector<std::uint32_t> DefaultTable(int entries) {
    if (entries == 2) return {0x000000, 0xFFFFFF};
    if (entries == 16)
        return {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    // 6 x 6 x 6 colour cube, then 40 greys.
    std::vector<std::uint32_t> t;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                t.push_back(static_cast<std::uint32_t>((r * 51) << 16 | (g * 51) << 8 | b * 51));
    for (int i = 0; i < 40; ++i) {
        const auto v = static_cast<std::uint32_t>(i * 255 / 39);
        t.push_back(v << 16 | v << 8 | v);
    }
    return t;
}

// Index of the nearest table colour, remembered per colour.
class NearestColour {
public:
    explicit NearestColour(const std::vector<std::uint32_t> &table) : table_(table) {}
    std::uint32_t operator()(std::uint32_t c) {
        auto it = cache_.find(c);
        if (it != cache_.end()) return it->second;
        std::uint32_t best = 0;
        long bestDistance = std::numeric_limits<long>::max();
        for (std::size_t i = 0; i < table_.size(); ++i) {
            long d = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const long diff = static_cast<long>((c >> shift) & 0xFF) - static_cast<long>((table_[i] >> shift) & 0xFF);
                d += diff * diff;
            }
            if (d < bestDistance) bestDistance = d, best = static_cast<std::uint32_t>(i);
        }
        cache_.emplace(c, best);
        return best;
    }

private:
    const std::vector<std::uint32_t> &table_;
    std::unordered_map<std::uint32_t, std::uint32_t> cache_;
};

// Rows bottom-up, each padded with zero bytes to a multiple of 4.
std::vector<std::uint8_t> PixelRows(const Picture &p, int depth, const std::vector<std::uint32_t> &table) {
    const auto row = static_cast<std::size_t>(DibRowSize(p.width, depth));
    std::vector<std::uint8_t> out(row * static_cast<std::size_t>(p.height), 0);
    NearestColour nearest(table);
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t *o = &out[row * static_cast<std::size_t>(p.height - 1 - y)];
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.at(x, y);
            const auto r = static_cast<std::uint8_t>(c >> 16), g = static_cast<std::uint8_t>(c >> 8),
                       b = static_cast<std::uint8_t>(c);
            switch (depth) {
            case 24:
                *o++ = b, *o++ = g, *o++ = r;
                break;
            case 32:
                *o++ = b, *o++ = g, *o++ = r, *o++ = 0;
                break;
            case 16: { // 5-5-5
                const auto v = static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                *o++ = static_cast<std::uint8_t>(v), *o++ = static_cast<std::uint8_t>(v >> 8);
                break;
            }
            default: { // 1, 4, 8: indices packed from the high bits of each byte
                const std::uint32_t index = nearest(c);
                const int bit = x * depth;
                o[bit / 8] |= static_cast<std::uint8_t>(index << (8 - depth - bit % 8));
                break;
            }
            }
        }
    }
    return out;
}


// Writes the bytes under a staging name beside `path` and moves it over
// `path`, so that a failure leaves any older file of that name as it was.
bool WriteReplacing(const std::string &path, const std::vector<std::uint8_t> &parts0,
                    const std::vector<std::uint8_t> &parts1, std::string &error) {
    errno = 0;
    platform::StagedFile staged(path);
    if (staged.refused()) {
        error = platform::KindOf(path) == platform::PathKind::Directory
                    ? ErrorText(EISDIR)
                    : "Unter diesem Namen besteht eine Verknüpfung ins Leere, eine Pipe oder ein Gerät.";
        return false;
    }
    platform::BinaryFile f;
    const bool ok = staged.valid() && f.open(staged.path(), platform::BinaryFile::Mode::ReadWrite) &&
                    f.writeAt(0, parts0.data(), parts0.size()) &&
                    f.writeAt(static_cast<std::int64_t>(parts0.size()), parts1.data(), parts1.size()) && f.flush() &&
                    f.close() && staged.commit(true) == platform::StagedFile::Commit::Done;
    if (!ok) error = ErrorText(errno);
    return ok;
}

} // namespace

std::string ErrorText(int err) {
    switch (err) {
    case 0: return "Schreibfehler";
    case EACCES:
    case EPERM: return "Zugriff verweigert: Für diesen Ordner fehlt die Schreibberechtigung.";
    case EROFS: return "Der Datenträger ist schreibgeschützt.";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "Auf dem Datenträger ist nicht genügend Speicherplatz frei.";
    case ENOENT:
    case ENOTDIR: return "Der Ordner wurde nicht gefunden.";
    case EISDIR: return "Unter diesem Namen besteht bereits ein Ordner.";
    case EFBIG: return "Die Datei wäre zu groß.";
    case ENAMETOOLONG: return "Der Dateiname ist zu lang.";
    default: return std::string("Systemfehler ") + std::to_string(err) + ": " + std::strerror(err);
    }
}

std::int32_t save_bitmap(const Picture &picture, int depth, const std::string &path,
                         Messages *messages, const std::string &title,
                         const std::vector<std::uint32_t> *palette) {
    auto fail = [&](const std::string &reason, std::int32_t result) {
        if (messages) messages->show(Icon::None, title, "Fehler!\r\n" + reason);
        return result;
    };
    if (!SupportedDepth(depth)) return fail("Dieses Bildformat wird nicht unterstützt!", -1);
    if (picture.empty()) return -2;
    if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
        return -3;

    const int entries = depth <= 8 ? 1 << depth : 0;
    std::vector<std::uint32_t> table;
    if (entries) {
        if (palette && palette->size() == static_cast<std::size_t>(entries)) {
            for (std::uint32_t c : *palette) table.push_back(rgb_to_quad(c));
        } else {
            table = DefaultTable(entries);
        }
    }
    const std::int64_t imageSize = DibRowSize(picture.width, depth) * picture.height;
    const std::int64_t offset = 54 + 4 * static_cast<std::int64_t>(entries);
    if (offset + imageSize > std::numeric_limits<std::int32_t>::max())
        return fail(ErrorText(EFBIG), 0);

    std::vector<std::uint8_t> head(static_cast<std::size_t>(offset), 0);
    head[0] = 'B';
    head[1] = 'M';
    Put32(head, 2, static_cast<std::uint32_t>(offset + imageSize));
    Put32(head, 10, static_cast<std::uint32_t>(offset));
    Put32(head, 14, 40);
    Put32(head, 18, static_cast<std::uint32_t>(picture.width));
    Put32(head, 22, static_cast<std::uint32_t>(picture.height));
    Put16(head, 26, 1);
    Put16(head, 28, static_cast<std::uint32_t>(depth));
    Put32(head, 34, static_cast<std::uint32_t>(imageSize));
    Put32(head, 46, static_cast<std::uint32_t>(entries));
    Put32(head, 50, static_cast<std::uint32_t>(entries));
    for (int i = 0; i < entries; ++i) Put32(head, 54 + 4 * static_cast<std::size_t>(i), table[i]);

    std::string error;
    if (!WriteReplacing(path, head, PixelRows(picture, depth, table), error)) return fail(error, 0);
    const std::int64_t size = platform::FileSize(path);
    return size > 0 ? static_cast<std::int32_t>(size) : 0;
}

ConvertStatus ConvertImageToBmp(const std::string &imagePath, const std::string &bmpPath,
                                bool optimised, PixelSize *writtenSize) {
    ApplyImageMemoryLimit(); // the command-line tool has no windows to set it
    auto picture = LoadPicture(imagePath);
    if (!picture) return ConvertStatus::CannotDecode;
    if (optimised && !elim_padbytes(*picture, imagePath)) return ConvertStatus::CannotDecode;
    if (save_bitmap(*picture, 24, bmpPath, nullptr, "") < 1) return ConvertStatus::SaveFailed;
    if (writtenSize) *writtenSize = {picture->width, picture->height};
    return ConvertStatus::Ok;
}

} // namespace kalmira::convert
