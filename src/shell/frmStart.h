#pragma once

#include "shell/services.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace kalmira {

// Black-to-red background band picture.
class GradientBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override;
};

class FrmStart : public QWidget {
    Q_OBJECT
public:
    explicit FrmStart(Services &services, QWidget *parent = nullptr);

    // Centres, decorates, sets KalmiraA's message limit and handles the
    // command line; shows the window unless an extraction was started.
    void load();

    // A ".bmp"/".wav" argument (quotes removed, extension case-insensitive)
    // hands the path to the extract window and runs it. True when dispatched.
    bool handleCommandLine(const QString &argument);

    QPushButton *Command1, *Command2, *Command3, *Command4;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Services &s_;
    GradientBox *Picture2;
};

} // namespace kalmira
