// Password dialog of an extract run: one masked field. OK writes the padded
// password (the padding itself for an empty entry) into the extract window's
// hidden `Text1`; the close box writes nothing.
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

class FrmPas : public QDialog {
    Q_OBJECT
public:
    explicit FrmPas(Services &services, QWidget *parent = nullptr);

    // The padded password after OK; nullopt while open and after closing.
    const std::optional<QString> &password() const { return password_; }
    // The same password as typed, without padding (the stealth format's).
    const std::optional<QString> &typed() const { return typed_; }
    // Another question above the field; the dialog grows to show it whole.
    void setQuestion(const QString &question);

    MaskedEdit *Text1;
    QLabel *Label1;
    QPushButton *Command1;
    QFrame *Shape1;
    QLabel *Image1;
    QTimer *Timer1;
    QMenu *mnuTest;

public slots:
    void reject() override; // Escape counts as the close box

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void okClicked();

    Services &s_;
    std::optional<QString> password_, typed_;
};

} // namespace kalmira::crypto
