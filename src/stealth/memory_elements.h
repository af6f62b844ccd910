// Elements held in memory: for carriers decoded whole (compressed pictures
// and sound) and for tests. Values as ElementReader::read() gives them.
#pragma once

#include "stealth/elements.h"

#include <vector>

namespace kalmira::stealth {

class MemoryElements : public ElementReader, public ElementWriter {
public:
    // values: shape.elements() * channels values (sound: signed samples);
    // alpha: one per pixel or empty (0 = fully transparent).
    MemoryElements(const ElementShape &shape, std::vector<std::int32_t> values, std::vector<std::int32_t> alpha = {});

    const ElementShape &shape() const override { return shape_; }
    bool read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
              std::span<std::uint8_t> locked) override;
    // Refuses (and changes nothing) when a change is unsorted or leaves the range.
    bool apply(std::span<const Change> changes) override;
    bool commit() override { return true; }

    const std::vector<std::int32_t> &values() const { return values_; }
    const std::vector<std::int32_t> &alpha() const { return alpha_; }
    std::vector<std::int32_t> &values() { return values_; }

private:
    ElementShape shape_;
    std::vector<std::int32_t> values_, alpha_;
};

} // namespace kalmira::stealth
