// The extract run, in two steps as the windows and the tool run it: open()
// locks the carrier and reads the header; the caller checks the password
// (passwordMatches) as often as it allows, then runFile()/runMessage() read
// the data back, decrypt, decompress and hand the result on (a file in
// KalmiraB, a text in KalmiraA). Progress leaves as steps and percentages,
// the end as a result; extract_texts.h puts both into words.
#pragma once

#include "carrier/access.h"
#include "carrier/payload.h"
#include "shell/ui.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kalmira::extract {

// The steps a run reports while it goes on, each with how far it is (0..100).
enum class Step {
    Prepare, // KalmiraA: the checks of the header are done, the bytes come next
    Read,    // reading the hidden bytes
    ReadDone,
    Decrypt, // decrypting with the header's cipher
    Inflate, // KalmiraB: decompressing into the destination
};

class ExtractProgress : public EventPump {
public:
    virtual void step(Step step, int percent) = 0;
};

// KalmiraB's run also asks where the file goes.
class ExtractView : public ExtractProgress {
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
};

// Every way an extract run ends.
enum class ExtractOutcome {
    Ready, // open(): the header is read, the run may go on
    Extracted,
    NoCarrierChosen,
    CarrierMissing,
    CarrierUnreadable, // exists but cannot be read (permission, I/O error)
    NoAccess,          // see `access`: no regular file, locked by a hide, not recovered
    NoPayload,
    ProgramEnded,          // three wrong passwords
    Damaged,               // see `damage`
    TooLarge,              // KalmiraA: not a message it can show
    Cancelled,             // save dialog cancelled
    TempWriteFailed,       // the temporary folder cannot be written
    FolderUnwritable,      // nothing can be created beside the destination
    WriteFailed,           // the destination could not be written (disk full)
    ReplaceFailed,         // the finished file could not be put in place
    DestinationExists,     // and may not be replaced
    DestinationNotRegular, // a folder, FIFO or device: never replaced
    LibraryMissing,
    Busy,
};

enum class Damage {
    None,
    LengthField, // the length field is not seven digits
    LengthBeyondCarrier,
    AesBlocks, // AES data not a multiple of 16 bytes
    Decryption,
    Decompression,
};

// The facts both runs report.
struct ExtractResult {
    ExtractOutcome outcome = ExtractOutcome::Busy;
    Program program = Program::B; // B extracts a file, A a message
    Damage damage = Damage::None;
    std::string carrierPath;
    std::int64_t carrierSize = 0;
    payload::Mode mode = payload::Mode::Plain;
    std::string storedName;      // plain file name (UTF-8), "" when none
    std::int64_t dataLength = 0; // N from the header
    double seconds = 0;          // elapsed, from the header read on
    carrier::CarrierAccess access = carrier::CarrierAccess::Ready;
    carrier::Recovered recovered; // what was done about an earlier run's journal first
};

struct FileExtractResult : ExtractResult {
    std::string destination;        // the file written (or meant)
    std::int64_t extractedSize = 0; // bytes written
};

struct MessageExtractResult : ExtractResult {
    std::string messageAnsi;   // what the message box shows
    bool messageShown = false; // the run got as far as the message box
    int maxMessageSize = 0;
    bool saveEnabled = false; // the message may be saved
};

// Wrong passwords a window allows before the program ends.
inline constexpr int kPasswordAttempts = 3;

// A payload between the header and its data: holds the carrier's shared lock.
class OpenedPayload {
public:
    OpenedPayload(OpenedPayload &&other) noexcept;
    OpenedPayload &operator=(OpenedPayload &&) = delete;
    ~OpenedPayload();
    const ExtractResult &result() const;
    bool ready() const { return result().outcome == ExtractOutcome::Ready; }
    bool needsPassword() const { return ready() && result().mode != payload::Mode::Plain; }
    // The digest check of a padded password.
    bool passwordMatches(std::string_view padded) const;

private:
    friend class ExtractEngine;
    struct State;
    explicit OpenedPayload(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

class ExtractEngine {
public:
    ExtractEngine();
    ~ExtractEngine() = default;

    OpenedPayload open(ExtractProgress &progress, Program program, const std::string &carrierPath);
    // With the padded password of an encrypted payload (checked). A payload
    // that is not ready returns its result as it is.
    FileExtractResult runFile(ExtractView &view, OpenedPayload &opened, std::string_view padded = {});
    MessageExtractResult runMessage(ExtractProgress &progress, OpenedPayload &opened, int maxMessageSize,
                                    std::string_view padded = {});
    // Every attempt at the password was wrong: the program ends.
    ExtractResult endProgram(OpenedPayload &opened);

    bool running() const { return running_; }

private:
    using State = OpenedPayload::State;
    bool readHeader(State &s);
    Damage checkLength(const State &s) const;
    bool readFilePayload(ExtractProgress &progress, State &s);
    bool readMessagePayload(ExtractProgress &progress, State &s);
    bool decrypt(State &s, std::string_view padded);
    ExtractOutcome decompressTo(ExtractView &view, State &s, FileExtractResult &r);
    ExtractOutcome decompressMessage(State &s, std::string &message, std::int64_t limit);
    ExtractOutcome fileRun(ExtractView &view, State &s, FileExtractResult &r, std::string_view padded);
    ExtractOutcome messageRun(ExtractProgress &progress, State &s, MessageExtractResult &r, std::string_view padded);

    bool running_ = false;
};

// The header of a carrier, read as the runs read it; nullopt when the file
// cannot be read. A file too short for a header yields one without a mode.
std::optional<payload::ParsedHeader> ReadPayloadHeader(const std::string &carrier);

// The digest check: whether a padded password opens the payload.
bool PasswordMatches(const payload::ParsedHeader &header, std::string_view padded);

} // namespace kalmira::extract
