// The hide run: writes lead byte, header and data into a carrier in place.
#pragma once

#include "hide/payload.h"
#include "hide/run_view.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kalmira::crypto {
class cRijndael;
}

namespace kalmira::hide {

// What the hide window of KalmiraB has prepared for a run.
struct FileHideInput {
    std::string carrierPath;     // Text1
    std::string sourcePath;      // Text5, only tested for being non-empty
    std::string nameField;       // 25 ANSI characters
    bool encrypt = false;        // Check1
    payload::Mode cipher = payload::Mode::Aes; // optCrypt
    bool backup = false;         // checkKopie
    std::string backupPath;      // lblKopie
};

// KalmiraA: the message itself; the run compresses it.
struct MessageHideInput {
    std::string carrierPath;
    std::string messageAnsi;     // the text of the message box, one byte per character
    std::string sourcePath;      // Text5: the loaded text file, "" when typed
    std::string nameField;       // "" when typed
    bool encrypt = false;
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    std::string backupPath;
};

// KalmiraA's window also shows sizes and takes the focus back.
class MessageHideView : public RunView {
public:
    virtual void setSizeLine(const std::string &text) = 0; // lblSize
    virtual void focusMessage() {}
};

enum class HideOutcome {
    Written,    // payload written and flushed
    Stopped,    // a check refused the run (message shown)
    Cancelled,  // password window cancelled
    Failed,     // the carrier could not be written (error shown)
    Busy,       // another run is in progress
};

class HideEngine {
public:
    HideEngine(Messages &messages, PasswordSource &passwords);
    ~HideEngine();

    // KalmiraB. `data` are the compressed bytes; they are the same again
    // after the run (RC4 is undone, AES writes to a separate array).
    HideOutcome hideFile(RunView &view, const FileHideInput &input, std::vector<std::uint8_t> &data);

    // KalmiraA: single pass over exactly the carrier bytes the payload needs.
    HideOutcome hideMessage(MessageHideView &view, const MessageHideInput &input);

    bool running() const { return running_; }

    // Lead byte source; tests pin it.
    void setLeadByteForTesting(int value) { fixedLead_ = value; }

private:
    enum class Backup { Made, Skipped, Failed };
    Backup makeBackup(RunView &view, const std::string &carrier, const std::string &copy);
    std::uint8_t leadByte();
    std::vector<std::uint8_t> aesEncrypt(const std::string &padded, const std::vector<std::uint8_t> &data);
    bool tooSmall(const std::string &carrier, const std::string &hiddenPath, std::int64_t n,
                  const std::string &hint);
    bool structureRefused(const std::string &carrier, std::int64_t dataLength, const char *title);
    void reportWriteFailure(const std::string &carrier, const std::string &backupPath);

    Messages &messages_;
    PasswordSource &passwords_;
    std::unique_ptr<crypto::cRijndael> aes_;
    bool running_ = false;
    int fixedLead_ = 0;
};

// Caption texts the runs share with their windows.
inline constexpr const char *kFinishedCaption = "          **********   FERTIG!  **********";
inline constexpr const char *kFinishedCaptionA = "          **********   FERTIG   **********";

// " 37": the number format with a leading blank for non-negative numbers.
std::string WithSign(long long value);

} // namespace kalmira::hide
