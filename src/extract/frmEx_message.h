// KalmiraA's extract window: shows the hidden message in two text boxes (one
// wrapping, one not; the shown one is the master) and saves it on request.
#pragma once

#include "extract/frmEx.h"

#include <QPlainTextEdit>

namespace kalmira::extract {

class FrmExMessage : public FrmEx {
    Q_OBJECT
public:
    explicit FrmExMessage(Services &services);

    QCheckBox *Check1;
    QPushButton *Command6;
    QPlainTextEdit *Text2, *Text3;

protected:
    void extractRun() override;
    void payloadOpened(const ExtractResult &result) override;
    void clearResults() override;
    void showThumbnail(const QString &) override { Command5->click(); } // its preview button
    bool carrierUsable() const override { return ownCarrierUsable_; }
    bool extractStealth() override;
    void setCarrierUsable(bool usable) override { ownCarrierUsable_ = usable; }
    void bmpChecked() override;
    void clearForExit() override;

private:
    void layOut();
    void showMessageText(const std::string &ansi);
    void saveMessage(); // Command6
    void toggleWrap();  // Check1

    QString hiddenName_;            // trimmed name field of the last run
    std::string shownAnsi_;         // the message as extracted, byte for byte
    QString shownText_;             // ... and as the box gave it back
    bool ownCarrierUsable_ = false; // this window keeps its own flag
    bool syncing_ = false;
};

} // namespace kalmira::extract
