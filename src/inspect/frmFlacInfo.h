// "FlacInfo": the facts of a FLAC recording in the style of the WAV info
// window, with what FLAC adds (block size, metadata blocks, comments).
#pragma once

#include "inspect/codec_info.h"
#include "shell/services.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace kalmira::inspect {

class FrmFlacInfo : public QWidget {
    Q_OBJECT
public:
    explicit FrmFlacInfo(Services &services, QWidget *parent = nullptr);

    // Shows the facts as read (facts.problem None) of the recording at `path`.
    void showFacts(const QString &path, const CodecFacts &facts);
    const QString &path() const { return path_; }

    QPushButton *Command3, *Command2;
    QListWidget *lstBlocks;
    QLabel *lblFileName, *lblFileSize, *lblCompression, *lblChannels, *lblSampleRate, *lblBytesPerSec, *lblBlockAlign,
        *lblBitsPerSample, *lblDuration, *lblBlockSize, *lblComments;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QFrame *createFacts();
    void play();

    Services &s_;
    QString path_;
};

} // namespace kalmira::inspect
