#include "crypto/password_common.h"

#include "crypto/keys.h"
#include "crypto/register.h"
#include "platform/platform.h"
#include "shell/registry.h"
#include "shell/services.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace kalmira::crypto {

QString PaddedPassword(const QString &password) {
    const std::string ansi = platform::AnsiFromUtf8(password.toStdString());
    return QString::fromStdString(platform::Utf8FromAnsi(PadPassword(ansi)));
}

void StyleDialog(QDialog *dialog, int width, int height) {
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    dialog->setFixedSize(width, height);
    // No "?" button; the close box stays.
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

QFont SystemFont() {
    QFont f("System");
    f.setStyleHint(QFont::System);
    f.setBold(true);
    return f;
}

QPoint CentredOnScreen(const QSize &size) {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return {0, 0};
    const QRect g = screen->availableGeometry();
    return {g.x() + (g.width() - size.width()) / 2, g.y() + (g.height() - size.height()) / 2};
}

QMenu *MakeTestMenu(QWidget *parent) {
    auto *menu = new QMenu("test", parent);
    menu->setObjectName("mnuTest");
    QAction *hallo = menu->addAction("sorry :-)");
    hallo->setObjectName("mnuHallo");
    return menu;
}

void PopUpAt(QMenu *menu, QWidget *field) {
    if (menu->isVisible()) return;
    menu->popup(field->mapToGlobal(field->rect().center()));
}

QLabel *MakeFocusMarker(QWidget *parent, QTimer **blinkTimer) {
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xC0, 0, 0));
        const QPointF arrow[3] = {{2, 1}, {12, 7}, {2, 13}};
        p.drawPolygon(arrow, 3);
    }
    auto *marker = new QLabel(parent);
    marker->setObjectName("Image1");
    marker->setPixmap(pm);
    marker->resize(pm.size());
    auto *timer = new QTimer(parent);
    timer->setObjectName("Timer1");
    timer->setInterval(500);
    QObject::connect(timer, &QTimer::timeout, marker, [marker] { marker->setVisible(!marker->isVisible()); });
    timer->start();
    *blinkTimer = timer;
    return marker;
}

void WriteInto(Services &services, const char *window, const char *box, const QString &text) {
    if (!services.registry) return;
    QWidget *w = services.registry->existing(window);
    if (!w) return;
    if (auto *edit = w->findChild<QLineEdit *>(box)) edit->setText(text);
}

} // namespace kalmira::crypto
