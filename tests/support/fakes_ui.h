// Test doubles for the window-side services.
#pragma once

#include "fakes.h"
#include "shell/registry.h"
#include "shell/services.h"

#include <QStringList>
#include <deque>

namespace kalmira::test {

// Answers dialogs from queues of full paths ("" = cancel) and records requests.
class FakeFileDialogs : public FileDialogs {
public:
    DialogResult open(const DialogRequest &request) override;
    DialogResult save(const DialogRequest &request) override;

    std::deque<QString> openAnswers, saveAnswers;
    std::vector<DialogRequest> openRequests, saveRequests;
};

class FakeClipboard : public Clipboard {
public:
    QString text() const override { return text_; }
    void setText(const QString &t) override { text_ = t; }
    void clear() override {
        text_.clear();
        ++clears;
    }
    int clears = 0;

private:
    QString text_;
};

class FakeDesktop : public Desktop {
public:
    int open(const QString &path) override {
        opened << path;
        return result;
    }
    bool chooseApplication(const QString &) override { return hasOpener; }
    bool hasOpener = true; // false: no program to open files with
    int result = 0;
    QStringList opened;
};

class FakeSound : public SoundPlayer {
public:
    bool available() const override { return hasOutput; }
    bool play(const QString &path) override;
    void stop() override { playing = false; }
    bool isPlaying() const override { return playing; }
    bool hasOutput = true;
    bool playing = false;
    QStringList played;
};

// Everything a window needs, with fakes; exitProgram records its calls.
struct TestServices {
    explicit TestServices(Program program = Program::B);
    FakeMessages messages;
    FakeFileDialogs dialogs;
    FakeClipboard clipboard;
    FakeDesktop desktop;
    FakeSound sound;
    CountingPump pump;
    WindowRegistry registry;
    Services services;
    std::vector<int> exits;
};

} // namespace kalmira::test
