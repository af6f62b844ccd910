// KalmiraA's hide window: a message typed into, pasted into or loaded into its
// two text boxes (one wrapping, one not; the shown one is the master).
#pragma once

#include "hide/frmV.h"

#include <QPlainTextEdit>

namespace kalmira::hide {

class FrmVMessage : public FrmV {
    Q_OBJECT
public:
    explicit FrmVMessage(Services &services);

    static const char *HintText(); // the boxes' text at start

    // The message as the run takes it (Windows-1252): a loaded file unedited
    // byte for byte, typed or edited text with CR LF line breaks.
    std::string messageAnsi() const;
    // The window's own thumbnail flag.
    bool thumbnailUsable() const { return thumbFlag_; }

    QPlainTextEdit *Text2, *Text4;
    QCheckBox *Check2;
    QLabel *lblSize;
    QPushButton *Command8, *Command11;

    void setSizeLine(const std::string &text) override;
    void focusMessage() override;

protected:
    void chooseSource() override;
    PreparedHide prepareWith(HideProgress &progress, payload::Mode cipher) override;
    bool showThumbnail(const QString &path) override;
    void setCarrierFlag(bool usable) override { thumbFlag_ = usable; }
    void enableInfoButtons(bool on, bool bmp) override;
    void showCarrierInfo() override;
    void thumbnailSwitchedOn() override { Command4->click(); }
    void clearForExit() override;
    bool stealthPayload(StealthPayload &out) override;
    std::int64_t stealthPayloadBytes() const override;

private:
    void layOut();
    QPlainTextEdit *shown() const { return Text2->isHidden() ? Text4 : Text2; }
    qsizetype messageBytes(const QString &boxText) const;
    void messageChanged(QPlainTextEdit *from);
    void showSize(const QString &boxText);
    void clearHint();
    void toggleWrap();
    // Reads a text file: valid UTF-8 as such, anything else as Windows-1252.
    void loadTextFile(const QString &path);

    bool thumbFlag_ = false;
    bool syncing_ = false;
    std::string loadedAnsi_; // the loaded file as it will be hidden
    QString loadedText_;     // ... and as the box shows it
};

} // namespace kalmira::hide
