// The hide run: writes lead byte, header and data into a carrier in place.
// It decides and returns a result; hide_texts.h turns results into words.
#pragma once

#include "carrier/access.h"
#include "carrier/payload_fit.h"
#include "hide/run_view.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kalmira::crypto {
class cRijndael;
}
namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::hide {

// What the hide window of KalmiraB has prepared for a run.
struct FileHideInput {
    std::string carrierPath;
    std::string sourcePath;      // the file to hide, only tested for being non-empty
    std::string nameField;       // 25 ANSI characters
    bool encrypt = false;
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    std::string backupPath;
};

// KalmiraA: the message itself; the run compresses it.
struct MessageHideInput {
    std::string carrierPath;
    std::string messageAnsi;     // the text of the message box, one byte per character
    std::string sourcePath;      // the loaded text file, "" when typed
    std::string nameField;       // "" when typed
    bool encrypt = false;
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    std::string backupPath;
};

// KalmiraA's window also shows sizes and takes the focus back.
class MessageHideView : public RunView {
public:
    virtual void setSizeLine(const std::string &text) = 0;
    virtual void focusMessage() {}
};

// Every way a hide run ends, in the order the runs check.
enum class HideOutcome {
    Written,            // payload written and flushed
    NoCarrierChosen,    // the carrier box is empty
    CarrierMissing,     // KalmiraB: the carrier does not exist
    NoSourceChosen,     // KalmiraB: no file to hide chosen
    NoMessage,          // KalmiraA: the message box is empty
    NoAccess,           // see `access`: not a regular file, not writable, locked by another run
    BackupFailed,       // the backup copy could not be made; carrier untouched
    BackupNotRegular,   // the backup name is a link, folder or device: never followed
    LibraryMissing,     // KalmiraA: no compression library
    CompressionFailed,  // KalmiraA: the message could not be compressed
    CarrierVanished,    // the carrier disappeared after the first checks
    CarrierTooLarge,    // the data exceed what the length field holds
    CarrierTooSmall,    // see `fit`
    CarrierStructure,   // writing would damage the carrier; see `fit.structure`
    Cancelled,          // password window cancelled
    WriteFailed,        // the carrier could not be written completely; see `carrierIntact`
    Busy,               // another run is in progress
};

struct HideResult {
    HideOutcome outcome = HideOutcome::Busy;
    Program program = Program::B;     // B hid a file, A a message
    std::string carrierPath;
    std::string sourcePath;           // the hidden file ("" for a typed message)
    std::string backupPath;           // the copy made by this run, "" when none
    payload::Mode mode = payload::Mode::Plain;
    std::int64_t messageSize = 0;     // KalmiraA: bytes of the message
    std::int64_t compressedSize = 0;  // n, compressed data bytes
    std::int64_t storedSize = 0;      // data bytes written (AES pads to blocks)
    payload::FitCheck fit;            // carrier size, size needed, structure
    carrier::CarrierAccess access = carrier::CarrierAccess::Ready;
    bool rolledBack = false;          // an earlier run's interrupted write was undone first
    bool carrierIntact = true;        // WriteFailed: the old content was put back
    double seconds = 0;               // elapsed
};

// Whether the run got as far as the carrier (the extract window then
// proposes the carrier just written).
bool ReachedCarrier(HideOutcome outcome);

class HideEngine {
public:
    HideEngine(RunQuestions &questions, PasswordSource &passwords);
    ~HideEngine();

    // KalmiraB. `data` are the compressed bytes; they stay as they are.
    HideResult hideFile(RunView &view, const FileHideInput &input, const std::vector<std::uint8_t> &data);

    // KalmiraA: single pass over exactly the carrier bytes the payload needs.
    HideResult hideMessage(MessageHideView &view, const MessageHideInput &input);

    bool running() const { return running_; }

    // Lead byte source; tests pin it.
    void setLeadByteForTesting(int value) { fixedLead_ = value; }

private:
    struct Run;
    HideResult runFile(Run &run, const FileHideInput &in, const std::vector<std::uint8_t> &data);
    HideResult runMessage(Run &run, MessageHideView &view, const MessageHideInput &in);
    bool fits(Run &run, std::int64_t compressed);
    std::optional<std::vector<std::uint8_t>> compressMessage(Run &run, const std::string &message);
    bool makeBackup(Run &run, const std::string &copy);
    bool takeCarrier(Run &run);
    bool openCarrier(Run &run);
    std::optional<std::string> askPassword(Run &run);
    std::vector<std::uint8_t> encrypt(const std::string &padded, payload::Mode mode,
                                      const std::vector<std::uint8_t> &data);
    bool journaledWrite(Run &run, std::int64_t length, const std::function<bool(platform::BinaryFile &)> &write);
    bool writeFilePayload(Run &run, const std::string &header, const std::vector<std::uint8_t> &data);
    bool writeMessagePayload(Run &run, const std::string &text);
    HideResult finish(Run &run, HideOutcome outcome);
    HideResult backupFailed(Run &run);
    std::uint8_t leadByte();

    RunQuestions &questions_;
    PasswordSource &passwords_;
    bool running_ = false;
    int fixedLead_ = 0;
};

// Caption texts the runs share with their windows.
inline constexpr const char *kFinishedCaption = "          **********   FERTIG!  **********";
inline constexpr const char *kFinishedCaptionA = "          **********   FERTIG   **********";

// " 37": the number format with a leading blank for non-negative numbers.
std::string WithSign(long long value);

} // namespace kalmira::hide
