// Password dialog of a hide run: the password twice, masked, with a length
// bar. OK writes the padded password into the hide window's hidden `Text3`;
// cancelling empties it.
#pragma once

#include "crypto/masked_edit.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <optional>

namespace kalmira {
struct Services;
}

namespace kalmira::crypto {

class FrmPasV : public QDialog {
    Q_OBJECT
public:
    explicit FrmPasV(Services &services, QWidget *parent = nullptr);

    // The padded password after OK; nullopt while open and after cancelling.
    const std::optional<QString> &password() const { return password_; }
    // The same password as typed, without padding (the stealth format's).
    const std::optional<QString> &typed() const { return typed_; }
    // 5 when the password field last asked for the popup menu, 1 for the
    // confirmation field, 0 before.
    int menuMarker() const { return menuMarker_; }

    MaskedEdit *Text5, *Text1;
    QLabel *Label1, *Label2, *Label4, *Label9, *Label10;
    QPushButton *Command1, *Command2;
    QFrame *picContainer;
    QLabel *imgSlider;
    QLabel *lblSlider[2];
    QLabel *Image1;
    QTimer *Timer1;
    QMenu *mnuTest;

public slots:
    void reject() override; // Escape counts as the close box

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createLengthBar();
    void connectFields();
    void passwordChanged();
    void confirmationChanged();
    void okClicked();
    void cancelClicked();
    void clearFields();

    Services &s_;
    std::optional<QString> password_, typed_;
    int menuMarker_ = 0;
    bool placed_ = false;
};

} // namespace kalmira::crypto
