#pragma once

#include "shell/services.h"
#include "shredder/wipe.h"

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace kalmira::shredder {

// Progress box: a background colour with a bar drawn from the left.
class ProgressBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setBackground(const QColor &c);
    QColor background() const { return background_; }
    // draw_progress: percent 0 clears the bar.
    void drawProgress(int percent, const QColor &colour, double full = 100);
    int barWidth() const { return bar_; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor background_;
    QColor barColour_;
    int bar_ = 0;
};

class FrmWipe : public QWidget {
    Q_OBJECT
public:
    explicit FrmWipe(Services &services, QWidget *parent = nullptr);

    static QColor IdleColour() { return QColor(0x03, 0x17, 0x00); }
    static QColor BarColour() { return QColor(0xC0, 0xC0, 0x00); }
    static QColor FailedColour() { return QColor(0x00, 0x40, 0x00); }

    // Overwrites with the chosen method and deletes, showing the outcome.
    void wipe(const QString &sFileName);
    Method method() const { return Option1[1]->isChecked() ? Method::Intensiv : Method::Normal; }

    // Test hook: sees every step of a run (passes, truncation) besides the window.
    WipeObserver *testObserver = nullptr;

    QLabel *Label2, *Label1, *Label3;
    QLineEdit *Fname;
    QPushButton *Command1, *Command2, *Command3, *Command4;
    QRadioButton *Option1[2];
    ProgressBox *Picture1;
    QFrame *Shape1;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createMethodChoice();
    void createProgress();
    void resetDisplay();
    void refuseLink(const QString &path);
    void choose();
    void destroyFile();
    void unload();

    Services &s_;
    bool running_ = false;
};

} // namespace kalmira::shredder
