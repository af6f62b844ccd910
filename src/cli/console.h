// The engines' user interfaces for a terminal: messages on stderr, a progress
// bar instead of window captions, passwords from a file, the environment or
// a prompt without echo.
#pragma once

#include "extract/extract_engine.h"
#include "shell/ui.h"

#include <optional>
#include <string>

namespace kalmira::cli {

// Message boxes become lines on stderr. Questions get their default answer
// (a tool run from a script cannot be asked), which for the backup question
// keeps the existing copy.
class StderrMessages : public Messages {
public:
    Answer show(Icon icon, const std::string &title, const std::string &text,
                Buttons buttons = Buttons::Ok) override;
};

// Prints one German line on stderr, prefixed with the tool's name; control
// characters other than line ends are shown escaped (see Printable).
void Complain(const std::string &text);

// One line on stderr that redraws itself; silent unless stderr is a terminal.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar() { finish(); }
    void show(int percent, const std::string &label);
    // Takes a window caption ("... 37 % bearbeitet") and draws what it says.
    void caption(const std::string &caption);
    // Ends the line, if one was drawn.
    void finish();
    bool enabled() const { return enabled_; }

private:
    bool enabled_ = false;
    bool drawn_ = false;
    int last_ = -1;
    std::string label_;
};

// Splits a caption into its label and percentage (-1 when it has none).
int CaptionPercent(const std::string &caption, std::string &label);

// Run views: no pauses, no events to pump, captions feed the bar.
template <class Base> class ConsoleView : public Base {
public:
    explicit ConsoleView(ProgressBar &bar) : bar_(bar) {}
    void setCaption(const std::string &c) override { bar_.caption(c); }
    void setBusy(bool) override {}
    void pause(double) override {}
    void processEvents() override {}

protected:
    ProgressBar &bar_;
};

// Extraction writes to `target`, replacing an existing file only when asked;
// "-" streams to standard output.
class ExtractView : public ConsoleView<extract::ExtractView> {
public:
    ExtractView(ProgressBar &bar, std::string target, bool replace)
        : ConsoleView(bar), target_(std::move(target)), replace_(replace) {}
    std::string chooseDestination(const std::string &) override { return target_; }
    bool replaceExisting() const override { return replace_; }
    bool streams() const override { return target_ == "-"; }
    bool write(const std::uint8_t *data, std::size_t n) override;
    void exitProgram() override {}

private:
    std::string target_;
    bool replace_;
};

class MessageExtractView : public ConsoleView<extract::MessageExtractView> {
public:
    using ConsoleView::ConsoleView;
    void showMessage(const std::string &) override {}
    void setResultLine(const std::string &) override {}
    void exitProgram() override {}
};

// The engines ask for the password that the tool has read before the run.
class FixedPassword : public PasswordSource {
public:
    explicit FixedPassword(std::string padded) : padded_(std::move(padded)) {}
    ~FixedPassword() override;
    std::string extractPassword() override { return padded_; }

private:
    std::string padded_;
};

// A text as the terminal may show it: control characters (C0, DEL, C1)
// become \xNN, so a stored name cannot paint fake lines.
std::string Printable(const std::string &utf8, bool keepLineEnds = false);

// Where a password comes from: `--password-file` first, then the variable
// KALMIRA_PASSWORD, then a prompt when stdin is a terminal (twice when
// `confirm`). Gives the padded ANSI password, or nullopt after saying why.
std::optional<std::string> ObtainPassword(const std::string &passwordFile, bool confirm,
                                          bool allowEmpty);
// The same password as typed, in ANSI and without padding (the stealth format's).
std::optional<std::string> ObtainAnsiPassword(const std::string &passwordFile, bool confirm,
                                              bool allowEmpty);

// A password file's first line, read as UTF-8 (with or without byte-order
// mark) or Windows-1252; the padded ANSI password, or nullopt after saying why.
std::optional<std::string> PasswordFromFileAt(const std::string &path, bool allowEmpty);

// The rules of the password windows for a UTF-8 password: at most 16
// characters, each one representable in the ANSI code page. "" when valid,
// otherwise the complaint.
std::string PasswordProblem(const std::string &utf8, bool allowEmpty);

} // namespace kalmira::cli
