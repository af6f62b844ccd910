// A PNG picture as a version-2 carrier. Elements are pixels whose colour
// values (grey, or red, green and blue together) move by +-1 on the stored
// value, 16-bit samples included. Alpha never changes; fully transparent
// pixels (alpha 0, or the colour of a tRNS key) are locked, and so are those
// one step from the key colour, which a change could turn transparent.
#pragma once

#include "carrier/png_file.h"
#include "carrier/whole_file.h"

namespace kalmira::carrier {

class PngElements final : public WholeFileElements {
public:
    // Decodes `path`; problem() says why when it could not. `forWriting`
    // prepares the rewrite (commit()) and refuses what it cannot replace.
    PngElements(const std::string &path, bool forWriting, std::uint64_t memoryLimit = kWholeFileMemoryLimit);

    bool read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
              std::span<std::uint8_t> locked) override;
    bool apply(std::span<const Change> changes) override;

    const PngImage &image() const { return image_; }

private:
    CodecProblem encode(ByteSink &sink) const override;
    bool locked(std::uint64_t pixel) const;

    PngImage image_;
};

} // namespace kalmira::carrier
