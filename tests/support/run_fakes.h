// Recording progress, scripted passwords and the windows' run sequence for
// the hide and extract engines.
#pragma once

#include "carriers.h"
#include "extract/extract_engine.h"
#include "extract/extract_texts.h"
#include "hide/hide_engine.h"
#include "hide/hide_texts.h"

#include <cstdio>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace kalmira::test {

// A run's steps as the windows' captions (`caption` turns a step into one),
// the end captions and their pauses as the *AsWindow helpers add them.
template <class Base>
struct RecordingProgress : Base {
    void processEvents() override { ++events; }
    virtual void pause(double s) { pauses.push_back(s); }
    void record(const std::string &c) {
        if (!c.empty()) captions.push_back(c);
    }
    bool sawCaption(const std::string &part) const {
        for (const auto &c : captions)
            if (c.find(part) != std::string::npos) return true;
        return false;
    }
    Program program = Program::B;
    payload::Mode mode = payload::Mode::Plain;
    std::vector<std::string> captions;
    std::vector<double> pauses;
    int events = 0;
};

struct FakeHideProgress : RecordingProgress<hide::HideProgress> {
    void step(hide::Step s, int percent) override { record(hide::HideCaption(program, mode, backupPath, s, percent)); }
    std::string backupPath;
    std::string sizeLine;
    int focused = 0;
};

template <class Base>
struct ExtractRecording : RecordingProgress<Base> {
    void step(extract::Step s, int percent) override {
        this->record(extract::ExtractCaption(this->program, this->mode, s, percent));
    }
    int exits = 0;
};

struct FakeExtractView : ExtractRecording<extract::ExtractView> {
    std::string chooseDestination(const std::string &name) override {
        offeredName = name;
        return destination;
    }
    std::string destination, offeredName;
};

struct FakeMessageExtractView : ExtractRecording<extract::ExtractProgress> {
    std::string shown, resultLine;
};

// For runs that make no backups: every question is answered "Nein".
inline hide::RunQuestions &KeepBackups() {
    static struct : hide::RunQuestions {
        bool replaceBackup(const std::string &) override { return false; }
    } questions;
    return questions;
}

// Padded passwords in order; an exhausted queue cancels (hide) or answers "".
struct FakePasswords {
    virtual ~FakePasswords() = default;
    template <class T>
    static T next(std::deque<T> &queue, T none) {
        if (queue.empty()) return none;
        T p = queue.front();
        queue.pop_front();
        return p;
    }
    std::optional<std::string> hidePassword() { return ++asked, next(hide, std::optional<std::string>()); }
    std::string extractPassword() { return ++asked, next(extract, std::string()); }
    virtual void wrongPassword(int attemptsLeft) { rejected.push_back(attemptsLeft); }
    std::deque<std::optional<std::string>> hide;
    std::deque<std::string> extract;
    std::vector<int> rejected; // attempts left after each wrong password
    int asked = 0;
};

// Shows a run's final notice the way the windows do, and hands the result on.
inline std::optional<Notice> NoticeOf(const hide::HideResult &r) { return hide::HideNotice(r); }
inline std::optional<Notice> NoticeOf(const extract::FileExtractResult &r) { return extract::ExtractNotice(r); }
inline std::optional<Notice> NoticeOf(const extract::MessageExtractResult &r) { return extract::ExtractNotice(r); }
template <class Result>
Result Told(Messages &messages, Result r) {
    if (const auto n = NoticeOf(r)) messages.show(n->icon, n->title, n->text, Buttons::Ok);
    return r;
}

template <class View>
void ShowEnd(View &view, const std::vector<TimedCaption> &end) {
    for (const TimedCaption &c : end) {
        if (c.pauseBefore > 0) view.pause(c.pauseBefore);
        view.captions.push_back(c.caption);
    }
}

// A hide run as the windows make it: the checks, the password from
// `passwords` when one is needed, the write, the end captions and pauses.
template <class Input>
hide::HideResult HideAsWindow(hide::HideEngine &engine, FakeHideProgress &view, FakePasswords &passwords,
                              const Input &in, std::span<const std::uint8_t> data = {}) {
    constexpr bool file = std::is_same_v<Input, hide::FileHideInput>;
    view.program = file ? Program::B : Program::A;
    view.mode = in.encrypt ? in.cipher : payload::Mode::Plain;
    view.backupPath = in.backupPath;
    hide::PreparedHide p = [&] {
        if constexpr (file)
            return engine.prepareFile(view, in, data);
        else
            return engine.prepareMessage(view, in);
    }();
    hide::HideResult r = p.result();
    if (r.outcome == hide::HideOutcome::NoMessage) ++view.focused;
    if (const std::string line = hide::MessageSizeLine(r); !line.empty()) view.sizeLine = line;
    if (p.needsPassword()) {
        const std::optional<std::string> pw = passwords.hidePassword();
        if (!pw || pw->empty()) {
            view.sizeLine = hide::MessageSizeLineCancelled(r);
            return engine.cancel(p);
        }
        r = engine.run(view, p, *pw);
    } else if (p.ready()) {
        r = engine.run(view, p);
    }
    ShowEnd(view, hide::HideEndCaptions(r));
    return r;
}

// An extract run as the windows make it: the header, the password dialog up
// to three times, the run, the end captions and pauses.
template <class View>
auto ExtractAsWindow(extract::ExtractEngine &engine, View &view, FakePasswords &passwords, const std::string &carrier,
                     int maxMessageSize = 65535) {
    constexpr bool file = std::is_base_of_v<extract::ExtractView, View>;
    using Result = std::conditional_t<file, extract::FileExtractResult, extract::MessageExtractResult>;
    view.program = file ? Program::B : Program::A;
    extract::OpenedPayload opened = engine.open(view, view.program, carrier);
    view.mode = opened.result().mode;
    std::optional<std::string> pw;
    for (int attempt = 0; opened.needsPassword() && !pw && attempt < extract::kPasswordAttempts; ++attempt) {
        std::string p = passwords.extractPassword();
        if (opened.passwordMatches(p))
            pw = p;
        else
            passwords.wrongPassword(extract::kPasswordAttempts - 1 - attempt);
    }
    Result r;
    if (opened.needsPassword() && !pw) {
        ++view.exits;
        static_cast<extract::ExtractResult &>(r) = engine.endProgram(opened);
    } else if constexpr (file) {
        r = engine.runFile(view, opened, pw.value_or(""));
    } else {
        r = engine.runMessage(view, opened, maxMessageSize, pw.value_or(""));
        if (r.messageShown) view.shown = r.messageAnsi, view.resultLine = extract::MessageResultLine(r);
    }
    ShowEnd(view, extract::ExtractEndCaptions(r));
    return r;
}

// Hides `plain` stored as `name` into `carrier` the way KalmiraB does, and
// `ansi` the way KalmiraA does; encrypted runs use `password`.
inline hide::HideOutcome HideFile(hide::HideEngine &hider, FakePasswords &passwords, const TempDir &work,
                                  const std::string &carrier, const std::vector<std::uint8_t> &plain,
                                  const std::string &name, payload::Mode mode = payload::Mode::Plain,
                                  const std::string &password = "Sesam") {
    const auto data = Compressed(work, plain);
    std::remove(work.file("plain.in").c_str());
    std::remove(work.file("plain.z").c_str());
    hide::FileHideInput in;
    in.carrierPath = carrier;
    in.sourcePath = work.file(name);
    in.nameField = *payload::NameField(name);
    in.encrypt = mode != payload::Mode::Plain;
    in.cipher = mode;
    if (in.encrypt) passwords.hide.push_back(Padded(password));
    FakeHideProgress view;
    return HideAsWindow(hider, view, passwords, in, data).outcome;
}

inline hide::HideOutcome HideMessage(hide::HideEngine &hider, FakePasswords &passwords, const std::string &carrier,
                                     const std::string &ansi, payload::Mode mode = payload::Mode::Plain) {
    hide::MessageHideInput in;
    in.carrierPath = carrier;
    in.messageAnsi = ansi;
    in.encrypt = mode != payload::Mode::Plain;
    in.cipher = mode;
    if (in.encrypt) passwords.hide.push_back(Padded("Sesam"));
    FakeHideProgress view;
    return HideAsWindow(hider, view, passwords, in).outcome;
}

} // namespace kalmira::test
