// Helpers of the whole-file carrier tests: carriers made by other programs,
// large enough for version 2, and hide / extract runs over them.
#pragma once

#include "carrier/whole_file.h"

#include "codec_tools.h"
#include "fakes.h"

#include <string>

namespace kalmira::test {

extern const std::string kWholeFilePassword;

// Carriers made by the programs that write them in the wild, large enough
// for the format (window 0 needs 40,960 elements): ImageMagick pictures of
// every colour type ("ct<type>_<depth>[_i].png"), a GIMP-like export with
// its chunks ("gimp.png"), a picture with a colour key ("key.png"), a
// screenshot-like picture ("screen.png"), a flat one ("flat.png"); FLAC
// encoded by flac with tags, picture, cue sheet, seek table and padding
// ("cd.flac"), 24-bit ("m24.flac"), 16-bit material in 24-bit samples
// ("p24.flac") and six channels by sox ("sox6.flac").
class MadeCarriers {
public:
    static const MadeCarriers &Get();
    std::string path(const std::string &name) const { return dir_.file(name); }

private:
    MadeCarriers();
    TempDir dir_;
};

// A copy of a made carrier in `dir`, mode 0640.
std::string CopyMade(const TempDir &dir, const std::string &name);

// Hides random data, as much as the carrier takes safely up to `most` bytes;
// the data.
Bytes HideInto(carrier::WholeFileElements &c, std::uint64_t most = 200);
Bytes ExtractFrom(carrier::ElementReader &c);

} // namespace kalmira::test
