#pragma once

#include "convert/modConvert.h"
#include "shell/services.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace kalmira::convert {

// A label that reports clicks.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

class FrmConvert : public QWidget {
    Q_OBJECT
public:
    explicit FrmConvert(Services &services, QWidget *parent = nullptr);

    // Button colours as 0x00BBGGRR values.
    static constexpr std::uint32_t kButtonColour = 0x8080;
    static constexpr std::uint32_t kHoverColour = 0xC0C0;
    static std::uint32_t backColour(const QPushButton *button);

    // The off-screen picture the convert button writes.
    const Picture &picture1() const { return picture1_; }
    int optConvert() const { return opt_convert; }
    const QString &convDir() const { return conv_dir; }
    const QString &convTitle() const { return conv_title; }

    // The reduction factor chosen in Combo1 (1: own size).
    int reduceBy() const { return Combo1->currentIndex() + 1; }

    QLabel *Label1, *Label2, *Anzeige1, *Picture1, *Image1, *Label5;
    QComboBox *Combo1;
    ClickLabel *Label3, *Label4;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QFrame *Picture2, *Line1, *Shape1, *Shape2, *Shape3;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createPathControls();
    void createPreview();
    void createChoicesAndButtons();
    void connectControls();
    void load();            // Command1
    void loadAndPreview();  // Command3
    void toggleOptimised(); // Label3, Label4
    void convert();         // Command2
    void info();            // Command4
    void clearPicture();
    void widenForCaption();
    // One button lit (or none for nullptr), the others in their normal colour.
    void hover(QPushButton *over);
    void setBackColour(QPushButton *button, std::uint32_t colour);

    Services &s_;
    Picture picture1_;
    QString conv_dir, conv_title;
    int opt_convert = 1;
};

} // namespace kalmira::convert
