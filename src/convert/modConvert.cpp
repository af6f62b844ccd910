#include "convert/modConvert.h"

#include "convert/image_memory.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <deque>

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
    if (target != PixelSize{picture.width, picture.height}) picture = ScaleSmooth(picture, target.width, target.height);
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

std::uint8_t Clamp8(float v) { return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255)); }

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
                const float *m =
                    &band[static_cast<std::size_t>(first - bandFirst) + k][static_cast<std::size_t>(x) * 3];
                const float w = ty.weights[y][k];
                r += w * m[0], g += w * m[1], b += w * m[2];
            }
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                (static_cast<std::uint32_t>(Clamp8(r)) << 16) | (Clamp8(g) << 8) | Clamp8(b);
        }
    }
    return out;
}

PixelSize ReducedSize(int width, int height, int factor) {
    if (factor < 2) return {width, height};
    return {std::max(1, (width + factor / 2) / factor), std::max(1, (height + factor / 2) / factor)};
}

void Reduce(Picture &picture, int factor) {
    if (factor < 2 || picture.empty()) return;
    const PixelSize to = ReducedSize(picture.width, picture.height, factor);
    picture = ScaleSmooth(picture, to.width, to.height);
}

OutputType OutputTypeOf(const std::string &path) {
    if (path.size() < 4) return OutputType::Bmp;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".png" ? OutputType::Png : OutputType::Bmp;
}

ConvertResult ConvertImage(const ConvertRequest &request) {
    ApplyImageMemoryLimit(); // the command-line tool has no windows to set it
    ConvertResult result;
    if (!DecodersAvailable()) return {ConvertStatus::DecodersMissing, {}, 0};
    auto picture = LoadPicture(request.imagePath);
    if (!picture) return {ConvertStatus::CannotDecode, {}, 0};
    Reduce(*picture, request.reduceBy);
    if (request.optimised && !elim_padbytes(*picture, request.imagePath)) return {ConvertStatus::CannotDecode, {}, 0};
    const std::int64_t written = request.type == OutputType::Png
                                     ? SavePng(*picture, request.outputPath, &result.error)
                                     : save_bitmap(*picture, 24, request.outputPath, nullptr, &result.error);
    if (written < 1) result.status = ConvertStatus::SaveFailed;
    result.written = {picture->width, picture->height};
    return result;
}

} // namespace kalmira::convert
