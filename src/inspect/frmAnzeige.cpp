#include "inspect/frmAnzeige.h"

#include "inspect/centre.h"
#include "shell/registry.h"

#include <QCloseEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <chrono>
#include <cmath>
#include <future>

namespace kalmira::inspect {

void PictureBox::setPicture(const QImage &picture) {
    picture_ = picture;
    resize(picture_.size());
    update();
}

void PictureBox::paintEvent(QPaintEvent *event) {
    QPainter p(this);
    const QRect r = event->rect();
    p.drawImage(r.topLeft(), picture_, r);
}

FrmAnzeige::FrmAnzeige(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("frmAnzeige");
    setWindowTitle("Container-Bilddatei in Normalgrösse");
    setAttribute(Qt::WA_QuitOnClose, false);

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName("HScroll1");
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName("VScroll1");
    PBox_Back = new QWidget(this);
    PBox_Back->setObjectName("PBox_Back");
    PBox_Fore = new PictureBox(PBox_Back);
    PBox_Fore->setObjectName("PBox_Fore");

    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, HScroll1);
    HScroll1->resize(HScroll1->width(), extent);
    VScroll1->resize(extent, VScroll1->height());
    HScroll1->hide();
    VScroll1->hide();
    resize(800, 600);
    CentreOnScreen(this);
    PBox_Back->move(0, 0);
    PBox_Fore->move(0, 0);

    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { PBox_Fore->move(-v, PBox_Fore->y()); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this](int v) { PBox_Fore->move(PBox_Fore->x(), -v); });
}

bool FrmAnzeige::loadPicture(const QString &path) {
    static bool busy = false;
    if (busy) return false;
    busy = true;
    // The readers' allowance is set at program start from the machine's memory.
    QPointer<FrmAnzeige> self(this);
    auto reading = std::async(std::launch::async, [path] { return QImageReader(path).read(); });
    while (reading.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready) s_.pump->processEvents();
    QImage picture = reading.get();
    busy = false;
    if (!self || picture.isNull()) return false;
    setPicture(picture);
    return true;
}

void FrmAnzeige::setPicture(const QImage &picture) {
    PBox_Fore->setPicture(picture);
    // A new picture needs its own bars at once, not only after a resize.
    layoutViewer();
}

void FrmAnzeige::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    layoutViewer();
}

void FrmAnzeige::layoutViewer() {
    const int W = width(), H = height();
    const int fw = PBox_Fore->width(), fh = PBox_Fore->height();
    const int extent = HScroll1->height();
    // Decided on the new size; one bar takes room from the other direction.
    bool needH = fw > W, needV = fh > H;
    if (needH && !needV) needV = fh > H - extent;
    if (needV && !needH) needH = fw > W - extent;
    const int bh = needH ? extent : 0, bw = needV ? extent : 0;

    VScroll1->setGeometry(W - bw, 0, extent, H - bh);
    HScroll1->setGeometry(0, H - bh, W - bw, extent);
    HScroll1->setVisible(needH);
    VScroll1->setVisible(needV);
    PBox_Back->setGeometry(0, 0, W - bw, H - bh);
    const int vw = PBox_Back->width(), vh = PBox_Back->height();

    // A hidden bar goes back to 0, so no part of the picture stays out of reach.
    const int hmax = needH ? fw - vw : 0, vmax = needV ? fh - vh : 0;
    HScroll1->setMaximum(hmax);
    HScroll1->setPageStep(std::max(1, static_cast<int>(std::lround(hmax / 10.0))));
    VScroll1->setMaximum(vmax);
    VScroll1->setPageStep(std::max(1, static_cast<int>(std::lround(vmax / 10.0))));
    if (!needH) HScroll1->setValue(0);
    if (!needV) VScroll1->setValue(0);

    if (fw < vw && fh < vh)
        PBox_Fore->move((vw - fw) / 2, (vh - fh) / 2);
    else
        PBox_Fore->move(-HScroll1->value(), -VScroll1->value());
}

void FrmAnzeige::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmAnzeige::closeEvent(QCloseEvent *event) {
    event->accept();
    s_.registry->unload("frmAnzeige");
}

} // namespace kalmira::inspect
