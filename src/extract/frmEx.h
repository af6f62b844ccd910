// The extract window "frmEx": what both programs share. FrmExFile (KalmiraB)
// saves the hidden file; FrmExMessage (KalmiraA) shows the hidden message and
// saves it on request.
#pragma once

#include "carrier/classify.h"
#include "extract/extract_engine.h"
#include "shell/services.h"
#include "shell/window_parts.h"
#include "stealth/stealth.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>

class QVBoxLayout;

namespace kalmira::extract {

// The texts in which the two programs' extract windows differ.
struct FrmExTexts {
    const char *title, *heading, *checkBmpShow, *command2, *command3, *command4, *command5, *command7, *command8;
    const char *openTitle, *notFound, *noBmpChosen;
    // Help line texts.
    const char *helpBmpShow, *helpCommand1, *helpCommand2, *helpCommand3, *helpCommand7, *helpCommand8, *helpText4;
};

class FrmEx : public QWidget {
    Q_OBJECT
public:
    ~FrmEx() override;

    bool running() const { return engine_->running(); }

    // Runs the password dialog; it leaves the padded password in Text1.
    // Tests replace it to answer without a modal dialog.
    std::function<void()> askPassword;
    // True while the stealth format asks: the password goes into Text1 as
    // typed, without the classic padding.
    bool wantsTypedPassword() const { return typedPassword_; }
    // The question the dialog asks instead of its own; "" for its own.
    const QString &passwordQuestion() const { return passwordQuestion_; }
    // Holds a finished caption on screen; tests replace it to skip the wait.
    std::function<void(double seconds)> pauseFor;

    QLineEdit *Text4, *Text1;
    QCheckBox *checkBmpShow;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command7, *Command8, *Command9;
    QFrame *Picture2, *Shape1, *Shape2, *Shape_text4, *Line1;
    QLabel *Image1, *Image2, *Anzeige1, *Label2, *Label3;
    HelpLine *Label1;

protected:
    FrmEx(Services &services, const FrmExTexts &texts);

    // The variant's part of the window.
    virtual void extractRun() = 0;                       // Command2: the engine call
    virtual void clearResults() = 0;                     // a new carrier is being chosen
    virtual void showThumbnail(const QString &path) = 0; // sets the usable flag
    virtual bool carrierUsable() const = 0;
    virtual void setCarrierUsable(bool usable) = 0;
    virtual void showCarrierSize(const QString &) {}
    virtual void bmpChecked() {} // after a BMP carrier was checked
    virtual void clearForExit() {}

    // The common top: heading, carrier row with `belowField` under the path;
    // the variants arrange the rest.
    QVBoxLayout *rootWithCarrierRow(QWidget *belowField);
    void finish(QVBoxLayout *root, int width); // fixes the size, centres
    QPushButton *button(const char *name, const QString &caption);
    QLabel *label(const char *name, const QString &text);

    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void tell(const std::optional<Notice> &notice); // a run's final notice
    // The classic run: opens the carrier, asks for the password, runs `run`
    // (opened, padded password) and shows the end captions.
    template <class Result, class Progress, class Run>
    Result classicRun(Progress &progress, Run &&run);
    void showEnd(const ExtractResult &result);
    // The header is read (or the run has ended before it).
    virtual void payloadOpened(const ExtractResult &) {}

    // The stealth format, tried when the carrier holds no classic payload
    // (frmEx_stealth.cpp). False when the carrier cannot hold it either.
    virtual bool extractStealth() = 0;
    // A carrier only the stealth format takes: tried in it alone; true then.
    bool stealthOnly();
    // Asks once for the password as typed; nullopt when none was given.
    std::optional<std::string> stealthPassword();
    // Runs the engine under the carrier's lock with captions; false after a
    // lock problem was shown. tellStealth words the engine's result.
    bool runStealth(const std::string &carrier, const std::string &password, stealth::Sink &sink,
                    stealth::ExtractResult &result);
    void tellStealth(const stealth::ExtractResult &result, const std::string &carrier);
    bool stealthPossible(const std::string &carrier) const;
    // Where the save dialogs start, and what they remember once a file is saved.
    QString saveFolder() const;
    void savedIn(const QString &folder);
    bool typedPassword_ = false; // the dialog gives the password as typed
    QString passwordQuestion_;

    Services &s_;
    const FrmExTexts &t_;
    std::unique_ptr<ExtractEngine> engine_;
    HelpTexts *help_;

private:
    void buildControls();
    void buildButtonsAndHelpLine();
    QFrame *frame(const char *name, QFrame::Shape shape);
    void connectControls();
    void openCarrier();          // Command1
    QString chooseCarrierPath(); // "" when none was chosen
    void checkCarrier(const QString &path);
    void extract();        // Command2
    void switchToHide();   // Command3
    void showCarrier();    // Command8
    void previewToggled(); // checkBmpShow
    void thumbnail(const QString &path);

    // The password dialog as often as it is allowed; the padded password that
    // opens `opened`, or nullopt (the program ends) when none did.
    std::optional<std::string> passwordFor(const OpenedPayload &opened);
    std::string askExtractPassword();

    bool unloadAfterRun_ = false;
    bool carrierGiven_ = false; // the carrier came by its path, not from the dialog
    carrier::CarrierKind carrierKind_ = carrier::CarrierKind::Missing; // of Text4, as last checked
    template <class Progress>
    friend class CaptionProgress;
    friend class FileRunView;
};

// The extract window of the running program (services.program).
FrmEx *MakeFrmEx(Services &services);

} // namespace kalmira::extract
