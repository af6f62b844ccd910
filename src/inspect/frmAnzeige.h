// The carrier picture at full size, scroll bars only where it does not fit.
#pragma once

#include "shell/services.h"

#include <QImage>
#include <QScrollBar>
#include <QWidget>

namespace kalmira::inspect {

// Paints its picture one image pixel per screen pixel and takes its size.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setPicture(const QImage &picture);
    const QImage &picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage picture_;
};

class FrmAnzeige : public QWidget {
    Q_OBJECT
public:
    explicit FrmAnzeige(Services &services, QWidget *parent = nullptr);

    // Reads the file off the interface thread while the interface keeps
    // running; false (picture unchanged) when it cannot be read.
    bool loadPicture(const QString &path);
    void setPicture(const QImage &picture);

    QScrollBar *HScroll1, *VScroll1;
    QWidget *PBox_Back;
    PictureBox *PBox_Fore;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void layoutViewer();

    Services &s_;
};

} // namespace kalmira::inspect
