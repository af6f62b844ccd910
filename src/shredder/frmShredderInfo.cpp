#include "shredder/frmShredderInfo.h"

#include "shell/registry.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

namespace kalmira::shredder {

namespace {
const char *const kName = "frmShredderInfo";
}

void CentreOnScreen(QWidget *w) {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect g = screen->geometry();
    w->move(g.x() + (g.width() - w->width()) / 2, g.y() + (g.height() - w->height()) / 2);
}

QStringList FrmShredderInfo::Lines() {
    return {
        "",
        "Der DateiShredder vernichtet Dateien unwiederbringlich!",
        "",
        "Beim Löschen einer Datei überschreibt Windows nur den ersten ",
        "Buchstaben des Eintrags in der Verzeichnisliste und markiert ",
        "in der FAT die entsprechenden Cluster als frei. Erst wenn",
        "neue Dateien auf die Festplatte geschrieben werden, über-",
        "schreibt Windows/DOS die als frei markierten Bereiche.",
        "Mit Undelete-Programmen können also Dateien, deren Cluster ",
        "noch nicht überschrieben sind, wiederhergestellt werden.",
        "Um dies zu verhindern überschreibt der DateiShredder die",
        "einzelnen Cluster. Damit wird die Datei endgültig vernichtet.",
        "",
        "einfach:",
        "Die zu zerstörende Datei wird einmal mit NullBytes über-",
        "schrieben. Dies ist für die meisten Fälle ausreichend.",
        "",
        "intensiv:",
        "Die zu zerstörende Datei wird abwechselnd dreimal mit 0 und",
        "dreimal mit 255 überschrieben. Abschließend wird die Datei",
        "mit Wert 246 überschrieben. Siebenmaliges überschreiben",
        "wird vom US-Verteidigungsministerium gefordert und gilt auch",
        "in Deutschland als gesetzlicher Standard.",
    };
}

FrmShredderInfo::FrmShredderInfo(Services &services, QWidget *parent) : QWidget(parent, Qt::Window), s_(services) {
    setObjectName(kName);
    setWindowTitle("DateiShredder - Info");
    setFixedSize(540, 420);

    List1 = new QListWidget(this);
    List1->setObjectName("List1");
    QFont courier("Courier New", 9);
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    List1->setFont(courier);
    List1->setGeometry(10, 10, 520, 355);
    List1->addItems(Lines());
    List1->setCurrentRow(-1);
    List1->clearSelection();

    Command1 = new QPushButton("Beenden", this);
    Command1->setObjectName("Command1");
    Command1->setGeometry(215, 375, 110, 32);
    connect(Command1, &QPushButton::clicked, this, [this] { close(); });

    CentreOnScreen(this);
}

bool FrmShredderInfo::event(QEvent *e) {
    if (e->type() == QEvent::WindowActivate) Command1->setFocus();
    if (e->type() == QEvent::Close && s_.registry && s_.registry->existing(kName) == this) s_.registry->unload(kName);
    return QWidget::event(e);
}

} // namespace kalmira::shredder
