// A carrier file as elements (elements.h), for the version-2 stealth runs:
// read a band of rows at a time, never the whole file, and changed in place
// window by window. Each window's changed bytes go into the run's journal,
// durable, before they are written, so the journal grows with the changes.
#pragma once

#include "carrier/elements.h"
#include "carrier/stealth_layout.h"

#include <memory>
#include <string>

namespace kalmira::platform {
class CarrierJournal;
}

namespace kalmira::carrier {

enum class ElementAccess {
    Read,
    Write
};

// Read and changed through the same object; opened for reading, apply() fails.
class ElementCarrier : public ElementReader, public ElementWriter {};

struct ElementFile {
    enum class Outcome {
        Ready,
        Unsuitable,
        IoError
    } outcome = Outcome::IoError;
    Unsuitable reason = Unsuitable::None; // Unsuitable: why
    std::unique_ptr<ElementCarrier> elements;
    bool versionOne = true; // version 1 may live here too (BMP, WAV; not PNG, FLAC)
};

// Opens the carrier at `path`: BMP and WAV in place, PNG and FLAC decoded
// into memory and, when committed, replaced whole (whole_file.h). A writer journals into `journal` when given
// (begun by the writer before its first change, so a run that changes
// nothing leaves no journal); without one it writes directly (tests).
// `journalFailed` is set when the journal could not be begun or written:
// the carrier is then unchanged by that window.
ElementFile OpenElementFile(const std::string &path, ElementAccess mode, platform::CarrierJournal *journal = nullptr,
                            bool *journalFailed = nullptr);

} // namespace kalmira::carrier
