#include "inspect/sound.h"

#include "inspect/modWAV.h"
#include "inspect/register.h"
#include "shell/qt_services.h"

#include <QCoreApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <cmath>

namespace kalmira::inspect {

bool QtSoundPlayer::available() const { return !QMediaDevices::audioOutputs().isEmpty(); }

bool QtSoundPlayer::play(const QString &wavPath) {
    if (!QCoreApplication::instance() || !available()) return false;
    if (!effect_) effect_ = new QSoundEffect(QCoreApplication::instance());
    effect_->stop();
    effect_->setSource(QUrl::fromLocalFile(wavPath));
    effect_->play();
    return effect_->status() != QSoundEffect::Error;
}

void QtSoundPlayer::stop() {
    if (effect_) effect_->stop();
}

bool QtSoundPlayer::isPlaying() const { return effect_ && effect_->isPlaying(); }

bool PlayWithExternalPlayer(const QString &wavPath) {
    const std::string player = ExternalPlayerFor(S(qEnvironmentVariable("windir")), S(wavPath));
    return !player.empty() && QProcess::startDetached(Q(player), {"/play", wavPath});
}

namespace {

// One per play button, a child of it. The single sound belongs to the button
// that started it last; starting another one resets the previous button.
class PlayButton : public QObject {
public:
    PlayButton(Services &s, QPushButton *button, std::function<QString()> path, QString playCaption)
        : QObject(button), s_(s), button_(button), path_(std::move(path)),
          playCaption_(std::move(playCaption)) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { finished(); });
        connect(button, &QPushButton::clicked, this, [this] { click(); });
    }

    ~PlayButton() override {
        if (active_ == this) s_.sound->stop();
    }

private:
    void message(const char *text) {
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
            timer_.stop();
            s_.sound->stop();
            if (active_ == this) active_ = nullptr;
            button_->setText(playCaption_);
            return;
        }
        if (button_->text() != playCaption_) return;
        if (!s_.sound->available()) {
            message(kNoAudioText);
            return;
        }
        if (!s_.sound->play(path)) return;
        if (active_ && active_ != this) active_->reset();
        active_ = this;
        button_->setText(kStopCaption);
        // The wait is a timer, so the window stays usable and a second click
        // stops at once; an unreadable length ends it right away.
        const double ms = std::round(WavSeconds(S(path)) * 1000);
        if (ms <= 0) {
            button_->setText(playCaption_);
            return;
        }
        timer_.start(static_cast<int>(std::min(ms, 2e9)));
    }

    // Playing time over: a sound effect without a device would go on forever.
    void finished() {
        if (active_ == this) {
            s_.sound->stop();
            active_ = nullptr;
        }
        button_->setText(playCaption_);
    }

    void reset() {
        timer_.stop();
        if (active_ == this) active_ = nullptr;
        button_->setText(playCaption_);
    }

    Services &s_;
    QPushButton *button_;
    std::function<QString()> path_;
    QString playCaption_;
    QTimer timer_;
    static inline QPointer<PlayButton> active_;
};

} // namespace

void AttachPlayButton(Services &services, QPushButton *button, std::function<QString()> wavPath,
                      const QString &playCaption) {
    if (!button) return;
    new PlayButton(services, button, std::move(wavPath), playCaption);
}

} // namespace kalmira::inspect
