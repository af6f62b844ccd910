// WAV playback through Qt Multimedia; the play buttons are in register.h.
#pragma once

#include "shell/services.h"

#include <QPointer>
#include <QString>

class QSoundEffect;

namespace kalmira::inspect {

// Plays 8- and 16-bit PCM files asynchronously. With no audio output it
// reports unavailable and refuses to play: a sound effect without a device
// claims to play forever.
class QtSoundPlayer : public SoundPlayer {
public:
    ~QtSoundPlayer() override;
    bool available() const override;
    bool play(const QString &wavPath) override;
    void stop() override;
    bool isPlaying() const override;
    // The last sound could not be decoded or played.
    bool failed() const { return failed_; }

private:
    QPointer<QSoundEffect> effect_; // a child of the application object
    bool failed_ = false;
};

inline const char *kStopCaption = "Stop";
inline const char *kNoAudioText = "Keine Audioausgabe verfügbar.";
inline const char *kCannotPlayText = "Die WAV-Datei kann nicht abgespielt werden.";

struct WavPlayback;
// Why the file is not played; "" when it is playable.
QString PlaybackRefusal(const WavPlayback &check);

// The Windows media player for a carrier of more than 2,000,000 bytes, when
// %windir% holds "mplayer.exe"; true when it was started.
bool PlayWithExternalPlayer(const QString &wavPath);

} // namespace kalmira::inspect
