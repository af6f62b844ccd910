// The classic hide run, in two steps as the windows and the tool run it:
// prepare() checks carrier, file and fit and makes the backup; run() takes the
// password (the caller has asked for it) and writes lead byte, header and
// data into the carrier in place. Progress leaves as steps and percentages,
// the end as a result; hide_texts.h puts both into words.
#pragma once

#include "carrier/access.h"
#include "carrier/payload_fit.h"
#include "platform/secure_memory.h"
#include "shell/ui.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::hide {

// What the hide window of KalmiraB has prepared for a run.
struct FileHideInput {
    std::string carrierPath;
    std::string sourcePath; // the file to hide, only tested for being non-empty
    std::string nameField;  // 25 ANSI characters
    bool encrypt = false;
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    std::string backupPath;
};

// KalmiraA: the message itself; the run compresses it.
struct MessageHideInput {
    std::string carrierPath;
    std::string messageAnsi; // the text of the message box, one byte per character
    std::string sourcePath;  // the loaded text file, "" when typed
    std::string nameField;   // "" when typed
    bool encrypt = false;
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    std::string backupPath;
};

// The steps a run reports while it goes on, each with how far it is (0..100).
enum class Step {
    Backup,     // copying the carrier to the backup
    BackupDone, // the copy is complete
    Encrypt,    // encrypting with the input's cipher
    Encrypted,
    Compose, // KalmiraA: the carrier bytes are being put together
    Write,   // the payload goes into the carrier bytes
    Written, // KalmiraA: all composed, the one write follows
};

class HideProgress : public EventPump {
public:
    virtual void step(Step step, int percent) = 0;
};

// Questions a run asks while it goes on.
class RunQuestions {
public:
    virtual ~RunQuestions() = default;
    // A backup copy `copyName` exists already: true replaces it.
    virtual bool replaceBackup(const std::string &copyName) = 0;
};

// Every way a hide run ends, in the order the runs check.
enum class HideOutcome {
    Ready,             // prepare(): every check passed, run() writes
    Written,           // payload written and flushed
    NoCarrierChosen,   // the carrier box is empty
    CarrierMissing,    // KalmiraB: the carrier does not exist
    NoSourceChosen,    // KalmiraB: no file to hide chosen
    NoMessage,         // KalmiraA: the message box is empty
    NoAccess,          // see `access`: not a regular file, not writable, locked by another run
    BackupFailed,      // the backup copy could not be made; carrier untouched
    BackupNotRegular,  // the backup name is a link, folder or device: never followed
    LibraryMissing,    // KalmiraA: no compression library
    CompressionFailed, // KalmiraA: the message could not be compressed
    CarrierVanished,   // the carrier disappeared after the first checks
    CarrierTooLarge,   // the data exceed what the length field holds
    CarrierTooSmall,   // see `fit`
    CarrierStructure,  // writing would damage the carrier; see `fit.structure`
    Cancelled,         // no password given
    WriteFailed,       // the carrier could not be written completely; see `carrierIntact`
    Busy,              // another run is in progress
};

struct HideResult {
    HideOutcome outcome = HideOutcome::Busy;
    Program program = Program::B; // B hid a file, A a message
    std::string carrierPath;
    std::string sourcePath; // the hidden file ("" for a typed message)
    std::string backupPath; // the copy made by this run, "" when none
    payload::Mode mode = payload::Mode::Plain;
    std::int64_t messageSize = 0;    // KalmiraA: bytes of the message
    std::int64_t compressedSize = 0; // n, compressed data bytes (set once the fit is checked)
    std::int64_t storedSize = 0;     // data bytes written (AES pads to blocks)
    payload::FitCheck fit;           // carrier size, size needed, structure
    carrier::CarrierAccess access = carrier::CarrierAccess::Ready;
    carrier::Recovered recovered; // what was done about an earlier run's journal first
    bool carrierIntact = true;    // WriteFailed: the old content was put back
    double seconds = 0;           // elapsed
};

// The backup copy of a carrier: "bild.bmp" -> "bild-Kopie.bmp", beside it.
std::string BackupPathFor(const std::string &carrierPath);

// Whether the run got as far as the carrier (the extract window then
// proposes the carrier just written).
bool ReachedCarrier(HideOutcome outcome);

// A run between its checks and its write. It holds the carrier's lock, and
// its data: a message's compressed bytes, or a view of the caller's (which
// must live until the run ends). Ending it without run() writes nothing.
class PreparedHide {
public:
    PreparedHide(PreparedHide &&other) noexcept;
    PreparedHide &operator=(PreparedHide &&) = delete;
    ~PreparedHide();
    const HideResult &result() const;
    bool ready() const { return result().outcome == HideOutcome::Ready; }
    // run() needs the padded password.
    bool needsPassword() const { return ready() && result().mode != payload::Mode::Plain; }

private:
    friend class HideEngine;
    struct State;
    explicit PreparedHide(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

class HideEngine {
public:
    explicit HideEngine(RunQuestions &questions);
    ~HideEngine() = default;

    // KalmiraB. `data` are the compressed bytes; they stay as they are.
    PreparedHide prepareFile(HideProgress &progress, const FileHideInput &input, std::span<const std::uint8_t> data);
    // KalmiraA: compresses the message in memory.
    PreparedHide prepareMessage(HideProgress &progress, const MessageHideInput &input);

    // Writes a prepared run; `padded` is the padded password of an encrypted
    // one. A run that is not ready returns its result as it is.
    HideResult run(HideProgress &progress, PreparedHide &prepared, std::string_view padded = {});
    // No password was given: nothing is written.
    HideResult cancel(PreparedHide &prepared);

    bool running() const { return running_; }

    // Lead byte source; tests pin it.
    void setLeadByteForTesting(int value) { fixedLead_ = value; }

private:
    using State = PreparedHide::State;
    PreparedHide start(HideProgress &progress, Program program, const std::string &carrier);
    PreparedHide checkFile(PreparedHide prepared, const FileHideInput &in);
    PreparedHide checkMessage(PreparedHide prepared, const MessageHideInput &in);
    bool fits(State &s, std::int64_t compressed);
    bool makeBackup(State &s, const std::string &copy);
    bool copyCarrier(State &s, const std::string &staged);
    bool openCarrier(State &s);
    bool takeCarrier(State &s);
    bool encrypt(State &s, std::string_view padded);
    // `byteAt(g)`: the payload byte spread over carrier bytes 91 + 8g .. 98 + 8g, -1 where none.
    bool journaledWrite(State &s, std::int64_t length, const std::function<int(std::int64_t g)> &byteAt,
                        const std::function<bool(platform::BinaryFile &)> &write);
    bool writeFilePayload(State &s);
    bool writeMessagePayload(State &s);
    PreparedHide end(PreparedHide prepared, HideOutcome outcome);
    HideResult finish(State &s, HideOutcome outcome);
    std::uint8_t leadByte();

    RunQuestions &questions_;
    bool running_ = false;
    int fixedLead_ = 0;
};

} // namespace kalmira::hide
