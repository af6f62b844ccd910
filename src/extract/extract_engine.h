// The extract run: reads a payload back, checks the password, decrypts,
// decompresses and hands the result on (a file in KalmiraB, a text in KalmiraA).
#pragma once

#include "hide/payload.h"
#include "hide/run_view.h"

#include <functional>
#include <memory>
#include <string>

namespace kalmira::crypto {
class cRijndael;
}

namespace kalmira::extract {

class ExtractView : public RunView {
public:
    // The save dialog: full destination path, "" when cancelled.
    virtual std::string chooseDestination(const std::string &defaultName) = 0;
    // The third wrong password ends the program.
    virtual void exitProgram() = 0;
};

class MessageExtractView : public RunView {
public:
    // Text3/Text2 receive the message (ANSI, one byte per character).
    virtual void showMessage(const std::string &ansiText) = 0;
    virtual void setResultLine(const std::string &text) = 0; // Label3
    virtual void exitProgram() = 0;
};

enum class ExtractOutcome {
    Extracted,
    NoCarrierChosen,
    CarrierMissing,
    NoPayload,
    Damaged,        // length, padding or compressed data do not add up
    Cancelled,      // save dialog cancelled
    ProgramEnded,   // three wrong passwords
    TooLarge,       // KalmiraA: not a message it can show
    LibraryMissing,
    Failed,         // read or write error
    Busy,
};

struct FileReport {
    ExtractOutcome outcome = ExtractOutcome::Failed;
    std::string destination; // the written file (extractedFile)
    std::string label4, label5, label6;
};

struct MessageReport {
    ExtractOutcome outcome = ExtractOutcome::Failed;
    std::string messageAnsi;  // what the message box shows
    std::string hiddenName;   // stored name, trimmed (UTF-8)
    bool saveEnabled = false; // Command6
};

class ExtractEngine {
public:
    ExtractEngine(Messages &messages, PasswordSource &passwords);
    ~ExtractEngine();

    FileReport extractFile(ExtractView &view, const std::string &carrierPath);
    MessageReport extractMessage(MessageExtractView &view, const std::string &carrierPath,
                                 int maxMessageSize);

    bool running() const { return running_; }

private:
    struct Payload;
    struct HeaderTexts {
        const char *title, *carrierMissing, *noPayload;
    };
    // Up to and including the password check; Extracted means "go on".
    ExtractOutcome readHeader(RunView &view, const std::string &carrier, const HeaderTexts &texts,
                              const std::function<void()> &exitProgram, Payload &out);
    bool checkLength(const Payload &p, const char *title);
    bool decrypt(Payload &p, const char *title);

    Messages &messages_;
    PasswordSource &passwords_;
    std::unique_ptr<crypto::cRijndael> aes_;
    bool running_ = false;
};

// "0,153": seconds with three decimals, German decimal comma.
std::string FormatSeconds(double seconds);

} // namespace kalmira::extract
