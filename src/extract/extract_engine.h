// The extract run: reads a payload back, checks the password, decrypts,
// decompresses and hands the result on (a file in KalmiraB, a text in
// KalmiraA). It decides and returns a result; extract_texts.h speaks.
#pragma once

#include "carrier/access.h"
#include "carrier/payload.h"
#include "hide/run_view.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kalmira::crypto {
class cRijndael;
}

namespace kalmira::extract {

class ExtractView : public RunView {
public:
    // The save dialog: full destination path, "" when cancelled.
    // `defaultName` is already a plain file name ("" when none is usable).
    virtual std::string chooseDestination(const std::string &defaultName) = 0;
    // Whether an existing destination may be replaced (the save dialog has asked).
    virtual bool replaceExisting() const { return true; }
    // The tool's "-o -": the extracted file goes to this stream instead of a
    // destination, so it never touches a disk.
    virtual bool streams() const { return false; }
    virtual bool write(const std::uint8_t *, std::size_t) { return false; }
    // The third wrong password ends the program.
    virtual void exitProgram() = 0;
};

class MessageExtractView : public RunView {
public:
    // Receives the message (ANSI, one byte per character).
    virtual void showMessage(const std::string &ansiText) = 0;
    virtual void setResultLine(const std::string &text) = 0;
    virtual void exitProgram() = 0;
};

// Every way an extract run ends.
enum class ExtractOutcome {
    Extracted,
    NoCarrierChosen,
    CarrierMissing,
    CarrierUnreadable,  // exists but cannot be read (permission, I/O error)
    NoAccess,           // see `access`: no regular file, locked by a hide, not recovered
    NoPayload,
    ProgramEnded,       // three wrong passwords
    Damaged,            // see `damage`
    TooLarge,           // KalmiraA: not a message it can show
    Cancelled,          // save dialog cancelled
    TempWriteFailed,    // the temporary folder cannot be written
    FolderUnwritable,   // nothing can be created beside the destination
    WriteFailed,        // the destination could not be written (disk full)
    ReplaceFailed,      // the finished file could not be put in place
    DestinationExists,  // and may not be replaced
    DestinationNotRegular, // a folder, FIFO or device: never replaced
    LibraryMissing,
    Busy,
};

enum class Damage {
    None,
    LengthField,        // the length field is not seven digits
    LengthBeyondCarrier,
    AesBlocks,          // AES data not a multiple of 16 bytes
    Decryption,
    Decompression,
};

// The facts both runs report.
struct ExtractResult {
    ExtractOutcome outcome = ExtractOutcome::Busy;
    Program program = Program::B;    // B extracts a file, A a message
    Damage damage = Damage::None;
    std::string carrierPath;
    std::int64_t carrierSize = 0;
    payload::Mode mode = payload::Mode::Plain;
    std::string storedName;          // plain file name (UTF-8), "" when none
    std::int64_t dataLength = 0;     // N from the header
    double seconds = 0;              // elapsed, from the header read on
    carrier::CarrierAccess access = carrier::CarrierAccess::Ready;
    bool rolledBack = false;         // an interrupted hide was undone first
};

struct FileExtractResult : ExtractResult {
    std::string destination;         // the file written (or meant)
    std::int64_t extractedSize = 0;  // bytes written
};

struct MessageExtractResult : ExtractResult {
    std::string messageAnsi;         // what the message box shows
    int maxMessageSize = 0;
    bool saveEnabled = false;        // the message may be saved
};

class ExtractEngine {
public:
    explicit ExtractEngine(PasswordSource &passwords);
    ~ExtractEngine();

    FileExtractResult extractFile(ExtractView &view, const std::string &carrierPath);
    MessageExtractResult extractMessage(MessageExtractView &view, const std::string &carrierPath,
                                        int maxMessageSize);

    bool running() const { return running_; }

private:
    struct Payload;
    ExtractOutcome openPayload(RunView &view, ExtractResult &result, Payload &p);
    bool checkPassword(RunView &view, Payload &p);
    Damage checkLength(const Payload &p) const;
    bool readFilePayload(RunView &view, Payload &p);
    bool readMessagePayload(RunView &view, Payload &p);
    bool decrypt(Payload &p);
    ExtractOutcome decompressTo(ExtractView &view, Payload &p, FileExtractResult &r);
    ExtractOutcome decompressMessage(RunView &view, Payload &p, std::string &message, std::int64_t limit);
    FileExtractResult runFile(ExtractView &view, FileExtractResult &r, Payload &p);
    MessageExtractResult runMessage(MessageExtractView &view, MessageExtractResult &r, Payload &p);

    PasswordSource &passwords_;
    bool running_ = false;
};

// The header of a carrier, read as the runs read it; nullopt when the file
// cannot be read. A file too short for a header yields one without a mode.
std::optional<payload::ParsedHeader> ReadPayloadHeader(const std::string &carrier);

// The digest check: whether a padded password opens the payload.
bool PasswordMatches(const payload::ParsedHeader &header, const std::string &padded);

// The caption both extract runs hold on screen when they are done.
inline constexpr const char *kExtractFinishedCaption = "          **********   FERTIG!  **********";

// "0,153": seconds with three decimals, German decimal comma.
std::string FormatSeconds(double seconds);

} // namespace kalmira::extract
