// The hide window "frmV" of both programs: KalmiraB hides a file (compressed
// when chosen), KalmiraA a text message (compressed by the run).
#pragma once

#include "hide/hide_engine.h"
#include "hide/hide_texts.h"
#include "shell/services.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kalmira::hide {

class FrmV : public QWidget, public MessageHideView, public PasswordSource {
    Q_OBJECT
public:
    explicit FrmV(Services &services, QWidget *parent = nullptr);
    ~FrmV() override;

    bool isA() const { return a_; }

    // Seams for tests; the defaults run the password dialog and Pause().
    std::function<std::optional<QString>()> askPassword;
    std::function<void(double)> pauseFor;

    // What a drop of local files on `target` does (Text1, Text5, Text2, Text4).
    void dropFiles(QWidget *target, const QStringList &paths);

    // KalmiraB: the compressed bytes held for the next runs.
    const std::vector<std::uint8_t> &data() const { return data_; }
    // The 25-byte name field (ANSI) of the chosen file; "" for a typed message.
    const std::string &nameField() const { return nameField_; }
    // KalmiraA: the message as the run takes it (ANSI, CR LF line breaks).
    std::string messageAnsi() const;
    // KalmiraA: the window's own thumbnail flag.
    bool thumbnailUsable() const { return thumbFlag_; }
    bool working() const { return working_; }

    static const char *HintText(); // KalmiraA's message boxes at start

    // Controls of both programs.
    QLabel *Label1, *Label2, *Label3, *Label6, *Label7, *lblKopie, *Anzeige1, *Image1;
    QLineEdit *Text1, *Text3, *Text5;
    QPushButton *Befehl1, *Befehl2, *Command1, *Command2, *Command3, *Command5, *Command6,
        *Command7, *Command9;
    QCheckBox *Check1, *checkKopie, *checkBmpShow;
    QRadioButton *optCrypt[2];
    QFrame *Picture2;
    // Same names, other roles: KalmiraB's shredder and converter buttons,
    // KalmiraA's hidden thumbnail button and WAV info button.
    QPushButton *Command4, *Command10;
    // KalmiraB only (nullptr in KalmiraA).
    QLabel *Label4 = nullptr, *Label5 = nullptr;
    // KalmiraA only (nullptr in KalmiraB).
    QPlainTextEdit *Text2 = nullptr, *Text4 = nullptr;
    QCheckBox *Check2 = nullptr;
    QLabel *lblSize = nullptr;
    QPushButton *Command8 = nullptr, *Command11 = nullptr;

    // RunView / MessageHideView
    void setCaption(const std::string &caption) override;
    void setBusy(bool busy) override;
    void pause(double seconds) override;
    void processEvents() override;
    void repaint() override;
    void setSizeLine(const std::string &text) override;
    void focusMessage() override;

    // PasswordSource
    std::optional<std::string> hidePassword() override;
    std::string extractPassword() override { return {}; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildCommon();
    void buildFilePartB();
    void buildMessagePartA();
    void layoutB();
    void layoutA();
    void finishLayout(); // frames, hidden password box, placeholder picture
    QPushButton *button(const char *name, const QString &caption);
    QLabel *label(const char *name, const QString &text);
    void watch(QWidget *w, const QString &help);
    void centre();

    // Command3
    void chooseFile();    // KalmiraB: choose and compress
    void loadTextFile();  // KalmiraA: load a .txt file into the message boxes
    // Befehl2
    void chooseCarrier();
    bool carrierFits(const std::string &carrier);
    bool showThumbnail(const QString &path); // into Anzeige1; the usable flag
    void enableForCarrier(const QString &path, bool usable);
    void clearThumbnail();
    void runHide();       // Befehl1
    void showCarrierImage();
    void showCarrierInfo();
    void switchToExtract();

    void messageChanged(QPlainTextEdit *from);
    void clearHint();
    void toggleWrap();
    void setHelp(const QString &text);
    QString restCaption() const;
    QString messageTitle() const;

    Services &s_;
    const bool a_;
    MessageQuestions questions_;
    HideEngine engine_;
    std::vector<std::uint8_t> data_;
    std::string nameField_;
    QString lastFileFolder_, lastCarrierFolder_;
    QString droppedFile_, droppedCarrier_; // the Tags of Command3 and Befehl2
    bool carrierChecked_ = false;          // Text1 passed its type and size checks
    bool thumbFlag_ = false;
    bool working_ = false;                 // compression, loading or a run in progress
    bool busy_ = false;
    bool syncing_ = false;
    int shownPercent_ = -1;
    QHash<QObject *, QString> help_;
    QList<QFrame *> shapes_;
};

} // namespace kalmira::hide
