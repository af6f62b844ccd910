// The engines' user interfaces for a terminal: messages on stderr, a progress
// bar instead of window captions, passwords from a file, the environment or
// a prompt without echo.
#pragma once

#include "extract/extract_engine.h"

#include <optional>
#include <string>

namespace kalmira::cli {

// Prints one German line on stderr, prefixed with the tool's name; control
// characters other than line ends are shown escaped (see Printable).
void Complain(const std::string &text);

// One line on stderr that redraws itself; silent unless stderr is a terminal.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar() { finish(); }
    void show(int percent, const std::string &label);
    // Ends the line, if one was drawn.
    void finish();
    bool enabled() const { return enabled_; }

private:
    bool enabled_ = false;
    bool drawn_ = false;
    int last_ = -1;
    std::string label_;
};

// An extract run's steps on the bar. KalmiraB's run writes to `target`,
// replacing an existing file only when asked; "-" streams to standard output.
class ExtractView : public extract::ExtractView {
public:
    ExtractView(ProgressBar &bar, Program program, std::string target = "", bool replace = false)
        : bar_(bar), program_(program), target_(std::move(target)), replace_(replace) {}
    void step(extract::Step step, int percent) override;
    void processEvents() override {}
    std::string chooseDestination(const std::string &) override { return target_; }
    bool replaceExisting() const override { return replace_; }
    bool streams() const override { return target_ == "-"; }
    bool write(const std::uint8_t *data, std::size_t n) override;

private:
    ProgressBar &bar_;
    Program program_;
    std::string target_;
    bool replace_;
};

// A text as the terminal may show it: control characters (C0, DEL, C1)
// become \xNN, so a stored name cannot paint fake lines. `keepLineEnds`
// keeps LF and tab.
std::string Printable(const std::string &utf8, bool keepLineEnds = false);
// A message for a terminal: its line ends (CR, CR LF, LF) as LF, tabs kept,
// every other control character shown as \xNN.
std::string TerminalText(const std::string &utf8);

// Where a password comes from: `--password-file` first, then the variable
// KALMIRA_PASSWORD, then a prompt when stdin is a terminal (twice when
// `confirm`); `--password-file -` at a terminal prompts as well. Gives the
// padded ANSI password, or nullopt after saying why.
std::optional<std::string> ObtainPassword(const std::string &passwordFile, bool confirm, bool allowEmpty);
// The same password as typed, in ANSI and without padding (the stealth format's).
std::optional<std::string> ObtainAnsiPassword(const std::string &passwordFile, bool confirm, bool allowEmpty);

// A password file's first line, read as UTF-8 (with or without byte-order
// mark) or Windows-1252; "-" is standard input. The ANSI password, or
// nullopt after saying why.
std::optional<std::string> PasswordFromFileAt(const std::string &path, bool allowEmpty);

// The rules of the password windows for a UTF-8 password: at most 16
// characters, each one representable in the ANSI code page. "" when valid,
// otherwise the complaint.
std::string PasswordProblem(const std::string &utf8, bool allowEmpty);

} // namespace kalmira::cli
