// Qt-backed implementations of the user-facing services.
#pragma once

#include "shell/services.h"

#include <QString>

namespace kalmira {

class QtMessages : public Messages {
public:
    Answer show(Icon icon, const std::string &title, const std::string &text, Buttons buttons) override;
};

class QtFileDialogs : public FileDialogs {
public:
    DialogResult open(const DialogRequest &request) override;
    DialogResult save(const DialogRequest &request) override;
};

class QtClipboard : public Clipboard {
public:
    QString text() const override;
    void setText(const QString &text) override;
    void clear() override;
};

class QtDesktop : public Desktop {
public:
    int open(const QString &path) override;
    bool chooseApplication(const QString &path) override;
};

class QtEventPump : public EventPump {
public:
    void processEvents() override;
};

// Folders kept in the platform's settings (on Linux under $XDG_CONFIG_HOME),
// one file for both programs, which share their carriers; or in `iniFile`.
class SettingsFolderMemory : public FolderMemory {
public:
    explicit SettingsFolderMemory(QString iniFile = {}) : iniFile_(std::move(iniFile)) {}
    QString folder(const QString &kind) const override;
    void remember(const QString &kind, const QString &folder) override;

private:
    QString iniFile_;
};

// No audio: reports unavailable and never plays.
class SilentSoundPlayer : public SoundPlayer {
public:
    bool available() const override { return false; }
    bool play(const QString &) override { return false; }
    void stop() override {}
    bool isPlaying() const override { return false; }
};

// "a|b|c|d" (description|patterns pairs) in Qt's ";;" filter form.
QString QtFilterFromPairs(const QString &pairs);

inline QString Q(const std::string &utf8) { return QString::fromStdString(utf8); }
inline std::string S(const QString &text) { return text.toStdString(); }

} // namespace kalmira
