#include "inspect/sound.h"

#include "inspect/modWAV.h"
#include "inspect/register.h"
#include "shell/qt_services.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <cmath>

namespace kalmira::inspect {

bool QtSoundPlayer::available() const { return !QMediaDevices::audioOutputs().isEmpty(); }

QtSoundPlayer::~QtSoundPlayer() { delete effect_.data(); }

bool QtSoundPlayer::play(const QString &wavPath) {
    if (!QCoreApplication::instance() || !available()) return false;
    // A fresh effect for every sound, so that nothing of an earlier file (a
    // failed decode, a sound still playing) carries over to the next one.
    if (effect_) {
        effect_->stop();
        effect_->deleteLater();
    }
    failed_ = false;
    effect_ = new QSoundEffect(QCoreApplication::instance());
    QSoundEffect *effect = effect_;
    // Decoding runs after play() returns, so its error arrives later.
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [this, effect] {
        if (effect == effect_ && effect->status() == QSoundEffect::Error) failed_ = true;
    });
    effect->setSource(QUrl::fromLocalFile(wavPath));
    effect->play();
    failed_ = failed_ || effect->status() == QSoundEffect::Error;
    return !failed_;
}

void QtSoundPlayer::stop() {
    if (effect_) effect_->stop();
}

bool QtSoundPlayer::isPlaying() const {
    // Still loading counts: play() starts the sound once the file is decoded.
    return effect_ && !failed_ && (effect_->isPlaying() || effect_->status() == QSoundEffect::Loading);
}

bool PlayWithExternalPlayer(const QString &wavPath) {
    const std::string player = ExternalPlayerFor(S(qEnvironmentVariable("windir")), S(wavPath));
    return !player.empty() && QProcess::startDetached(Q(player), {"/play", wavPath});
}

QString PlaybackRefusal(const WavPlayback &check) {
    switch (check.status) {
    case WavPlayback::Playable: return {};
    case WavPlayback::NotWav: return "Die Datei ist keine gültige Wave-Datei und kann nicht abgespielt werden.";
    case WavPlayback::NoSound: return "Die WAV-Datei enthält keine Sounddaten.";
    case WavPlayback::UnsupportedFormat: break;
    }
    const WavFormat &f = check.format;
    return QString("Dieses WAV-Format kann nicht abgespielt werden (%1, %2 Bit, %3). Abspielen "
                   "lassen sich unkomprimierte WAV-Dateien (PCM) mit 8 oder 16 Bit in Mono oder "
                   "Stereo.")
        .arg(Q(FormatTagName(f.formatTag)), Q(BitsPerSampleText(f.bitsPerSample)), Q(ChannelText(f.channels)));
}

namespace {

// One per play button, a child of it. The single sound belongs to the button
// that started it last; starting another one resets the previous button.
class PlayButton : public QObject {
public:
    PlayButton(Services &s, QPushButton *button, std::function<QString()> path, QString playCaption)
        : QObject(button), s_(s), button_(button), path_(std::move(path)), playCaption_(std::move(playCaption)) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { finished(); });
        connect(&poll_, &QTimer::timeout, this, [this] { checkStillPlaying(); });
        connect(button, &QPushButton::clicked, this, [this] { click(); });
    }

    ~PlayButton() override {
        if (active_ == this) s_.sound->stop();
    }

private:
    void message(const std::string &text) {
        s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"), text);
    }

    void click() {
        const QString path = path_ ? path_() : QString();
        if (path.isEmpty() || !path.toLower().endsWith("wav")) {
            message("Es ist keine WAV-Datei geladen.");
            return;
        }
        if (PlayWithExternalPlayer(path)) return;
        if (button_->text() == kStopCaption) {
            s_.sound->stop();
            reset();
            return;
        }
        if (button_->text() != playCaption_) return;
        const WavPlayback check = CheckPlayback(S(path));
        if (check.status != WavPlayback::Playable) {
            message(S(PlaybackRefusal(check)));
            return;
        }
        if (!s_.sound->available()) {
            message(kNoAudioText);
            return;
        }
        if (!s_.sound->play(path)) {
            message(kCannotPlayText);
            return;
        }
        if (active_ && active_ != this) active_->reset();
        active_ = this;
        button_->setText(kStopCaption);
        // The wait is a timer, so the window stays usable and a second click
        // stops at once. The poll notices a sound that failed or ended early.
        const double ms = std::max(1.0, std::round(check.seconds * 1000));
        timer_.start(static_cast<int>(std::min(ms, 2e9)));
        poll_.start(250);
    }

    void checkStillPlaying() {
        if (active_ != this || s_.sound->isPlaying()) return;
        auto *player = dynamic_cast<QtSoundPlayer *>(s_.sound);
        const bool failed = player && player->failed();
        reset();
        if (failed) message(kCannotPlayText);
    }

    // Playing time over: a sound effect without a device would go on forever.
    void finished() {
        if (active_ == this) {
            s_.sound->stop();
            active_ = nullptr;
        }
        reset();
    }

    void reset() {
        timer_.stop();
        poll_.stop();
        if (active_ == this) active_ = nullptr;
        button_->setText(playCaption_);
    }

    Services &s_;
    QPushButton *button_;
    std::function<QString()> path_;
    QString playCaption_;
    QTimer timer_, poll_;
    static inline QPointer<PlayButton> active_;
};

} // namespace

void AttachPlayButton(Services &services, QPushButton *button, std::function<QString()> wavPath,
                      const QString &playCaption) {
    if (!button) return;
    new PlayButton(services, button, std::move(wavPath), playCaption);
}

} // namespace kalmira::inspect
