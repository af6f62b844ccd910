#include "stealth/standard_costs.h"

#include "stealth/costs.h"

#include <vector>

namespace kalmira::stealth {

namespace {

void PictureStripeCosts(const CostStripe &s, std::span<float> out) {
    const PictureStripe stripe{
        s.values,         s.locked,        static_cast<int>(s.shape.width), static_cast<int>(s.rows),
        s.shape.channels, s.shape.maxValue};
    PictureCosts(stripe, out);
}

void SoundStripeCosts(const CostStripe &s, std::span<float> out) {
    const SoundStripe stripe{s.values, static_cast<int>(s.rows), static_cast<int>(s.shape.width), s.shape.bits,
                             s.shift};
    SoundCosts(stripe, out);
}

// The whole picture through the meter, a band of rows at a time.
bool WasJpeg(ElementReader &reader) {
    const ElementShape &shape = reader.shape();
    JpegGridMeter meter(static_cast<int>(shape.width), shape.channels, shape.maxValue);
    const std::uint64_t band = 64, rv = shape.rowValues();
    std::vector<std::int32_t> values;
    for (std::uint64_t r = 0; r < shape.rows; r += band) {
        const std::uint64_t n = std::min(band, shape.rows - r);
        values.resize(static_cast<std::size_t>(n * rv));
        if (!reader.read(r, n, values, {})) return false;
        for (std::uint64_t i = 0; i < n; ++i) meter.addRow(std::span(values).subspan(i * rv, rv));
    }
    return meter.verdict().jpeg;
}

} // namespace

CostModel StandardCosts(const ElementShape &shape) {
    CostModel m;
    if (shape.medium == Medium::Picture) {
        m.haloRows = kPictureHalo;
        m.costs = PictureStripeCosts;
        m.jpegOrigin = WasJpeg;
    } else {
        m.haloRows = kSoundHalo;
        m.costs = SoundStripeCosts;
    }
    return m;
}

} // namespace kalmira::stealth
