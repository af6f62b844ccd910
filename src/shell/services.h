// What every window receives: the injectable user-facing services, the window
// registry and the program-wide values. Tests build one with fakes.
#pragma once

#include "shell/ui.h"

#include <QString>
#include <functional>

class QWidget;

namespace kalmira {

class WindowRegistry;

struct DialogRequest {
    QWidget *owner = nullptr;
    QString title;
    QString folder;   // start folder; "" lets the dialog choose
    QString fileName; // default file name
    QString filter;   // "Text|*.txt|Alle|*.*" pairs
    QString defaultExt;
};

// Result of a dialog: chosen folder with trailing separator and bare file name;
// an empty fileName means cancelled.
struct DialogResult {
    QString folder;
    QString fileName;
    QString path() const { return folder + fileName; }
    bool cancelled() const { return fileName.isEmpty(); }
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual DialogResult open(const DialogRequest &request) = 0;
    virtual DialogResult save(const DialogRequest &request) = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
    virtual void clear() = 0;
};

// Opening a file with its associated application. Result codes as the shell:
// 0 done, 2 file not found, 31 no application associated.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual int open(const QString &path) = 0;
    virtual bool chooseApplication(const QString &path) = 0;
};

// Asynchronous WAV playback.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual bool available() const = 0;            // an audio output exists
    virtual bool play(const QString &wavPath) = 0; // false when it cannot start
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
};

// The folder last used for each kind of file, kept between runs.
class FolderMemory {
public:
    virtual ~FolderMemory() = default;
    virtual QString folder(const QString &kind) const = 0; // "" when none is known
    virtual void remember(const QString &kind, const QString &folder) = 0;
};

// The kinds of file the windows remember folders for.
namespace folders {
inline const QString kCarrier = QStringLiteral("Container");
inline const QString kHidden = QStringLiteral("Versteckt");     // a file to hide
inline const QString kText = QStringLiteral("Text");            // a message file to hide
inline const QString kExtracted = QStringLiteral("Extrahiert"); // saved extractions
} // namespace folders

struct Services {
    Program program = Program::B;
    Messages *messages = nullptr;
    FileDialogs *dialogs = nullptr;
    Clipboard *clipboard = nullptr;
    Desktop *desktop = nullptr;
    SoundPlayer *sound = nullptr;
    EventPump *pump = nullptr;
    FolderMemory *folders = nullptr; // none: the dialogs start where they are told
    WindowRegistry *registry = nullptr;
    // Ends the program (all windows close). Tests record the call instead.
    std::function<void(int)> exitProgram;
    // KalmiraA's limit for a message, set by the start window.
    int maxMessageSize = kMaxMessageBytes;
    // Command-line argument of the program run (whole, quotes still in).
    QString commandLine;

    QString programName() const { return QString::fromLatin1(ProgramName(program)); }
};

// Services backed by Qt's real dialogs, clipboard, desktop and message boxes.
Services &DefaultServices(Program program);

} // namespace kalmira
