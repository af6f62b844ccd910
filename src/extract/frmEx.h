// The extract window of both programs: KalmiraB saves the hidden file,
// KalmiraA shows the hidden message and saves it on request.
#pragma once

#include "extract/extract_engine.h"
#include "shell/services.h"

#include <QCheckBox>
#include <QFrame>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

namespace kalmira::extract {

// The help line: a click shows the elapsed time label, a double click hides it.
class HelpLine : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

class FrmEx : public QWidget, private PasswordSource {
    Q_OBJECT
public:
    explicit FrmEx(Services &services, QWidget *parent = nullptr);
    ~FrmEx() override;

    bool isMessageVariant() const { return a_; }
    // Path of the last file a run wrote (KalmiraB's ShowExtrakt opens it).
    const QString &extractedFile() const { return extractedFile_; }
    bool running() const { return engine_->running(); }

    // Runs the password dialog; it leaves the padded password in Text1.
    // Tests replace it to answer without a modal dialog.
    std::function<void()> askPassword;
    // Holds a finished caption on screen; tests replace it to skip the wait.
    std::function<void(double seconds)> pauseFor;

    // Both programs.
    QLineEdit *Text4, *Text1;
    QCheckBox *checkBmpShow;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command7, *Command8,
        *Command9;
    QFrame *Picture2, *Shape1, *Shape2, *Shape_text4, *Line1;
    QLabel *Image1, *Image2, *Anzeige1, *Label2, *Label3;
    HelpLine *Label1;
    // KalmiraB only (nullptr in KalmiraA).
    QLabel *Label4 = nullptr, *Label5 = nullptr, *Label6 = nullptr;
    // KalmiraA only (nullptr in KalmiraB).
    QCheckBox *Check1 = nullptr;
    QPushButton *Command6 = nullptr;
    QPlainTextEdit *Text2 = nullptr, *Text3 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    class FileRun;
    class MessageRun;

    void build();
    void buildLayoutB();
    void buildLayoutA();
    void fixSize(QLayout *root, int width);
    void placeOnScreen();
    void setHelpTexts();
    QPushButton *button(const char *name, const QString &caption);

    void openCarrier();          // Command1
    void extract();              // Command2
    void extractFileRun();
    void extractMessageRun();
    void switchToHide();         // Command3
    void showCarrier();          // Command8
    void previewToggled();       // checkBmpShow
    void thumbnail(const QString &path);
    void thumbnailA(const QString &path); // KalmiraA's Command5
    void saveMessage();          // Command6
    void toggleWrap();           // Check1
    void showMessageText(const std::string &ansi);
    bool carrierUsable() const;
    void setCarrierUsable(bool usable);

    std::optional<std::string> hidePassword() override { return std::nullopt; }
    std::string extractPassword() override;
    void wrongPassword(int attemptsLeft) override;
    void tell(const std::optional<Notice> &notice);

    Services &s_;
    const bool a_;
    std::unique_ptr<ExtractEngine> engine_;
    std::unique_ptr<FileRun> fileRun_;
    std::unique_ptr<MessageRun> messageRun_;
    QString extractedFile_;
    QString hiddenName_;      // KalmiraA: trimmed name field of the last run
    std::string shownAnsi_;   // KalmiraA: the message as extracted, byte for byte
    QString shownText_;       // ... and as the box gave it back
    bool ownCarrierUsable_ = false; // KalmiraA keeps this flag per window
    bool syncing_ = false;
    bool unloadAfterRun_ = false;
};

} // namespace kalmira::extract
