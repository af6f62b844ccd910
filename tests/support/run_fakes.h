// Recording views and scripted passwords for the hide and extract runs.
#pragma once

#include "extract/extract_engine.h"
#include "extract/extract_texts.h"
#include "hide/hide_engine.h"
#include "hide/hide_texts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kalmira::test {

template <class Base> class RecordingView : public Base {
public:
    void setCaption(const std::string &c) override { captions.push_back(c); }
    void setBusy(bool b) override { busy = b; }
    void pause(double s) override { pauses.push_back(s); }
    void processEvents() override { ++events; }

    bool sawCaption(const std::string &part) const {
        for (const auto &c : captions)
            if (c.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> captions;
    std::vector<double> pauses;
    bool busy = false;
    int events = 0;
};

struct FakeRunView : RecordingView<RunView> {};

struct FakeMessageHideView : RecordingView<hide::MessageHideView> {
    void setSizeLine(const std::string &t) override { sizeLine = t; }
    void focusMessage() override { ++focused; }
    std::string sizeLine;
    int focused = 0;
};

struct FakeExtractView : RecordingView<extract::ExtractView> {
    std::string chooseDestination(const std::string &name) override {
        offeredName = name;
        return destination;
    }
    void exitProgram() override { ++exits; }
    std::string destination, offeredName;
    int exits = 0;
};

struct FakeMessageExtractView : RecordingView<extract::MessageExtractView> {
    void showMessage(const std::string &t) override { shown = t; }
    void setResultLine(const std::string &t) override { resultLine = t; }
    void exitProgram() override { ++exits; }
    std::string shown, resultLine;
    int exits = 0;
};

// Answers the backup question from a queue, then "Nein"; records the names asked about.
struct FakeQuestions : RunQuestions {
    bool replaceBackup(const std::string &copyName) override {
        asked.push_back(copyName);
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    std::deque<bool> answers;
    std::vector<std::string> asked;
};

// For runs that make no backups: every question is answered "Nein".
inline RunQuestions &KeepBackups() {
    static FakeQuestions questions;
    return questions;
}

// Padded passwords in order; an exhausted queue cancels (hide) or answers "".
struct FakePasswords : PasswordSource {
    std::optional<std::string> hidePassword() override {
        ++asked;
        if (hide.empty()) return std::nullopt;
        auto p = hide.front();
        hide.pop_front();
        return p;
    }
    std::string extractPassword() override {
        ++asked;
        if (extract.empty()) return "";
        auto p = extract.front();
        extract.pop_front();
        return p;
    }
    void wrongPassword(int attemptsLeft) override { rejected.push_back(attemptsLeft); }
    std::deque<std::optional<std::string>> hide;
    std::deque<std::string> extract;
    std::vector<int> rejected;   // attempts left after each wrong password
    int asked = 0;
};

// Shows a run's final notice the way the windows do, and hands the result on.
inline std::optional<Notice> NoticeOf(const hide::HideResult &r) { return hide::HideNotice(r); }
inline std::optional<Notice> NoticeOf(const extract::FileExtractResult &r) { return extract::ExtractNotice(r); }
inline std::optional<Notice> NoticeOf(const extract::MessageExtractResult &r) { return extract::ExtractNotice(r); }
template <class Result> Result Told(Messages &messages, Result r) {
    if (const auto n = NoticeOf(r)) messages.show(n->icon, n->title, n->text, Buttons::Ok);
    return r;
}

// Passwords that tell of wrong ones the way the extract window does.
struct TellingPasswords : FakePasswords {
    TellingPasswords(Messages &m, Program p) : messages(m), program(p) {}
    void wrongPassword(int attemptsLeft) override {
        FakePasswords::wrongPassword(attemptsLeft);
        const Notice n = extract::WrongPasswordNotice(program, attemptsLeft);
        messages.show(n.icon, n.title, n.text, Buttons::Ok);
    }
    Messages &messages;
    Program program;
};

} // namespace kalmira::test
