// The hide window "frmV": what both programs share. FrmVFile (KalmiraB) hides a
// file, compressed when chosen; FrmVMessage (KalmiraA) a text message.
#pragma once

#include "carrier/classify.h"
#include "carrier/payload.h"
#include "hide/hide_engine.h"
#include "hide/hide_texts.h"
#include "shell/services.h"
#include "shell/window_parts.h"
#include "stealth/stealth.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QBoxLayout;
class QVBoxLayout;

namespace kalmira::hide {

// The texts in which the two programs' hide windows differ.
struct FrmVTexts {
    const char *title, *messageTitle, *heading;
    const char *command3, *check1, *aes, *checkKopie, *checkBmpShow, *befehl1;
    const char *command6, *command5, *command9, *command2, *command1;
    // Help line texts.
    const char *helpBefehl1, *helpBefehl2, *helpCheck1, *helpBmpShow, *helpCommand2, *helpCommand3, *helpCommand5,
        *helpCommand6, *helpCommand9, *helpText5;
};

// The run's question as a message box ("Ja" replaces the copy).
class BoxQuestions : public RunQuestions {
public:
    explicit BoxQuestions(Messages &messages) : messages_(messages) {}
    bool replaceBackup(const std::string &copyName) override;

private:
    Messages &messages_;
};

class FrmV : public QWidget {
    Q_OBJECT
public:
    ~FrmV() override;

    // Seams for tests; the defaults run the password dialog and a timed wait.
    std::function<std::optional<QString>()> askPassword;
    std::function<void(double)> pauseFor;
    // The stealth capacity of a carrier (stealth::Capacity).
    std::function<stealth::CapacityResult(const std::string &)> capacityOf;

    // The 25-byte name field (ANSI) of the chosen file; "" for a typed message.
    const std::string &nameField() const { return nameField_; }
    bool working() const { return working_; }

    QLabel *Label1, *Label3, *Label6, *Label7, *lblKopie, *Anzeige1, *Image1;
    HelpLine *Label2;
    QLineEdit *Text1, *Text3, *Text5;
    QPushButton *Befehl1, *Befehl2, *Command1, *Command2, *Command3, *Command5, *Command6, *Command7, *Command9;
    // Same names, other roles in the two programs (made by the variants).
    QPushButton *Command4 = nullptr, *Command10 = nullptr;
    QCheckBox *Check1, *checkKopie, *checkBmpShow;
    // Hide in the stealth format instead (off at start; frmV_stealth.cpp).
    QCheckBox *checkTarn;
    bool stealth() const { return checkTarn->isChecked(); }
    QRadioButton *optCrypt[2];
    QFrame *Picture2;

    // What the runs show while they go on.
    void setCaption(const std::string &caption);
    void setBusy(bool busy);
    void pause(double seconds);
    void processEvents();
    virtual void setSizeLine(const std::string &) {}
    virtual void focusMessage() {}

protected:
    FrmV(Services &services, const FrmVTexts &texts);

    // The variant's part of the window.
    virtual void chooseSource() = 0;                                                    // Command3
    virtual PreparedHide prepareWith(HideProgress &progress, payload::Mode cipher) = 0; // Befehl1: the checks
    virtual bool showThumbnail(const QString &path) = 0;                                // the usable flag
    virtual void setCarrierFlag(bool usable) = 0;
    virtual void enableInfoButtons(bool on, bool bmp) = 0;
    virtual void showCarrierInfo() = 0; // Command9
    // Checks at the carrier choice before its type: false refuses the carrier.
    virtual bool carrierAcceptable(const std::string &) { return true; }
    // Payload data bytes the structure check of a chosen carrier assumes.
    virtual std::int64_t dataLength() const { return 0; }
    virtual bool carrierDropAllowed() { return true; }
    virtual void thumbnailSwitchedOn();
    virtual void clearForExit() {}

    // The stealth format: what the variant hides (false, after saying why,
    // when there is nothing), its size for the capacity check, and what it
    // redoes when the format is switched.
    struct StealthPayload {
        stealth::Kind kind = stealth::Kind::File;
        std::string name;  // stored name, UTF-8
        std::string path;  // a file to hide, or
        std::string bytes; // the bytes themselves
    };
    virtual bool stealthPayload(StealthPayload &out) = 0;
    virtual std::int64_t stealthPayloadBytes() const = 0;
    virtual void formatSwitched(); // checks the carrier again

    // Layout pieces the variants arrange.
    QFrame *framed(QWidget *inner, const char *shapeName, int margin);
    QBoxLayout *pathRow(QPushButton *button, QFrame *field, QWidget *below1, QWidget *below2);
    QVBoxLayout *optionsColumn();
    QBoxLayout *bottomRows(QVBoxLayout *root, const QList<QPushButton *> &tools);
    void finish(QVBoxLayout *root); // fixes the size, centres
    QPushButton *button(const char *name, const QString &caption);
    QLabel *label(const char *name, const QString &text);
    void connectTools(QPushButton *shredder, QPushButton *converter);

    template <class Input>
    Input runInput(payload::Mode cipher) const;

    // Runs the carrier checks on `path` (already in Text1) and enables the
    // buttons for a usable carrier.
    void checkCarrier(const QString &path);
    void dropFiles(QWidget *target, const QStringList &paths);
    void tell(const std::optional<Notice> &notice); // nothing when nullopt
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    Services &s_;
    const FrmVTexts &t_;
    BoxQuestions questions_;
    HideEngine engine_;
    HelpTexts *help_;
    std::string nameField_;
    std::optional<std::string> changedName_; // the classic format stores the chosen file under this name
    QString lastFileFolder_, lastCarrierFolder_;
    QString droppedFile_, droppedCarrier_;                             // the Tags of Command3 and Befehl2
    bool carrierChecked_ = false;                                      // Text1 passed its checks
    carrier::CarrierKind carrierKind_ = carrier::CarrierKind::Missing; // of Text1, as last checked
    bool working_ = false;                                             // compression, loading or a run in progress

    struct WorkingScope {
        bool &flag;
        explicit WorkingScope(bool &f) : flag(f) { flag = true; }
        ~WorkingScope() { flag = false; }
    };

private:
    void buildControls();
    void buildOptionsAndPicture();
    void buildButtonsAndHelpLine();
    void connectControls();
    void addHelpTexts();
    void buildStealthOption();
    void stealthToggled();
    bool stealthCarrierUsable(const std::string &carrier); // says why not
    // Hiding more than the recommended payload: false when the user said no.
    bool acceptAboveRecommended(std::uint64_t payloadBytes, const std::string &carrier);
    void tellStoredName(const HideResult &result);
    void runStealthHide();
    void chooseCarrier(); // Befehl2
    void runHide();       // Befehl1
    HideResult runClassicHide(payload::Mode cipher);
    std::optional<std::string> askHidePassword(); // padded ANSI; nullopt when none was given
    void showEnd(const HideResult &result);
    void enableForCarrier(bool usable);
    void clearThumbnail();
    void showCarrierImage();
    void switchToExtract();

    bool busy_ = false;
    stealth::CapacityResult capacity_; // of the carrier in Text1, as last checked
    QString jpegNoted_;                // the carrier whose JPEG note was shown
};

// The hide window of the running program (services.program).
FrmV *MakeFrmV(Services &services);

} // namespace kalmira::hide
