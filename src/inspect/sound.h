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
    bool available() const override;
    bool play(const QString &wavPath) override;
    void stop() override;
    bool isPlaying() const override;

private:
    QPointer<QSoundEffect> effect_; // owned by the application object
};

inline const char *kStopCaption = "Stop";
inline const char *kNoAudioText = "Keine Audioausgabe verfügbar.";

// The Windows media player for a carrier of more than 2,000,000 bytes, when
// %windir% holds "mplayer.exe"; true when it was started.
bool PlayWithExternalPlayer(const QString &wavPath);

} // namespace kalmira::inspect
