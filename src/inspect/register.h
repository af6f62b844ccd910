// The inspection windows and how the hide and extract windows open them.
#pragma once

#include <QString>
#include <functional>

class QPushButton;

namespace kalmira {
struct Services;
}

namespace kalmira::inspect {

// Makes "frmMain", "frmFlacInfo", "frmAnzeige" and "Form1" known to the window registry and,
// unless the services already carry a real or fake player, installs the Qt
// Multimedia sound player into services.sound.
void RegisterWindows(Services &services);

// The program-wide path of the WAV file the WAV info window inspects.
QString &WavInfoFile();

// Sets WavInfoFile(), reads it into "frmMain" (its hidden Command1) and shows
// the window; a missing or invalid file shows the window's own message.
void ShowWavInfo(Services &services, const QString &wavPath);

// The facts of a PNG (in a message) or a FLAC carrier (in "frmFlacInfo"),
// codec_info.h, or why they cannot be read.
void ShowCodecInfo(Services &services, const QString &path);

// Reads the BMP header into "Form1" (its hidden Command1) and shows it.
void ShowImageInfo(Services &services, const QString &bmpPath);

// Who opens the viewer decides the caption's arrow spacing.
enum class ViewerCaller {
    Hide,
    Extract
};
// "Container-Bilddatei ->  " (hide) or "Container-Bilddatei  ->  " (extract)
// + path + "    , in Originalgrösse".
QString ViewerCaption(ViewerCaller caller, const QString &bmpPath);

// Loads the picture into "frmAnzeige", sets the caption and shows the window
// (not modal). False, with nothing shown, when the picture cannot be read.
bool ShowViewer(Services &services, const QString &bmpPath, const QString &caption);

// Play-button behaviour for any button: playCaption ("Play wav" in KalmiraB,
// "Play" in KalmiraA) starts wavPath(), "Stop" stops; see inspect/sound.h.
void AttachPlayButton(Services &services, QPushButton *button, std::function<QString()> wavPath,
                      const QString &playCaption);

} // namespace kalmira::inspect
