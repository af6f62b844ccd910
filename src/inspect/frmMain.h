// "WavInfo": the RIFF chunks and format fields of the WAV file named by
// WavInfoFile().
#pragma once

#include "inspect/modWAV.h"
#include "inspect/register.h"
#include "shell/services.h"

#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

namespace kalmira::inspect {

class FrmMain : public QWidget {
    Q_OBJECT
public:
    explicit FrmMain(Services &services, QWidget *parent = nullptr);

    // False (with the "keine gültige Wave-Datei" message) for a file that is
    // no RIFF/WAVE file; the window then keeps what it showed.
    bool ReadWavChunks(const QString &path);
    void ShowWavFormat(const WavFormat &format);

    QPushButton *Command3, *Command2, *Command1;
    QListWidget *lstChunks;
    QLabel *lblFileSize, *lblCompression, *lblChannels, *lblSampleRate, *lblBlockAlign, *lblBitsPerSample,
        *lblBytesPerSec, *lblFileName;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QFrame *createFacts();

    Services &s_;
};

} // namespace kalmira::inspect
