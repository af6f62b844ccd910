#include "shredder/frmWipe.h"

#include "platform/platform.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"
#include "shredder/frmShredderInfo.h"
#include "shredder/modDestroyFile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPainter>
#include <QStyle>

namespace kalmira::shredder {

namespace {
const char *const kName = "frmWipe";
const char *const kMessageTitle = "DateiShredder - Nachricht";

// Passes the engine's reports to the window and on to a test hook.
class WindowObserver : public WipeObserver {
public:
    WindowObserver(FrmWipe &w, Services &s) : w_(w), s_(s) {}
    void progress(int percent) override {
        w_.Label1->setText(QString::number(percent) + " %");
        w_.Picture1->drawProgress(percent, FrmWipe::BarColour(), 100);
        s_.pump->processEvents();
        if (w_.testObserver) w_.testObserver->progress(percent);
    }
    void passWritten(int pass, const std::string &path) override {
        if (w_.testObserver) w_.testObserver->passWritten(pass, path);
    }
    void beforeTruncate(const std::string &path) override {
        if (w_.testObserver) w_.testObserver->beforeTruncate(path);
    }
    void fileNotFound() override {
        s_.messages->show(Icon::None, S(s_.programName()), "Datei nicht gefunden!");
        if (w_.testObserver) w_.testObserver->fileNotFound();
    }

private:
    FrmWipe &w_;
    Services &s_;
};
} // namespace

void ProgressBox::setBackground(const QColor &c) {
    background_ = c;
    bar_ = 0;
    update();
}

void ProgressBox::drawProgress(int percent, const QColor &colour, double full) {
    barColour_ = colour;
    bar_ = ProgressBarWidth(width(), percent, full);
    update();
}

void ProgressBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), background_);
    if (bar_ > 0) p.fillRect(QRect(0, 0, bar_, height()), barColour_);
}

// Normal (one pass) or intensive (seven).
void FrmWipe::createMethodChoice() {
    const char *captions[2] = {"normal", "intensiv"};
    for (int i = 0; i < 2; ++i) {
        Option1[i] = new QRadioButton(captions[i], this);
        Option1[i]->setObjectName("Option1");
        Option1[i]->setProperty("Index", i);
        Option1[i]->setGeometry(20 + 110 * i, 72, 100, 20);
    }
    Option1[0]->setChecked(true);
}

// The bar, its percentage and the end notice.
void FrmWipe::createProgress() {
    Picture1 = new ProgressBox(this);
    Picture1->setObjectName("Picture1");
    Picture1->setGeometry(15, 114, 300, 22);
    Picture1->setBackground(IdleColour());

    Label1 = new QLabel("0 %", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setGeometry(320, 114, 60, 22);

    Label3 = new QLabel("Datei wurde zerstört!", this);
    Label3->setObjectName("Label3");
    Label3->setStyleSheet("color: #ff0000;");
    Label3->setGeometry(15, 144, 300, 20);
    Label3->hide();
}

FrmWipe::FrmWipe(Services &services, QWidget *parent) : QWidget(parent, Qt::Window), s_(services) {
    setObjectName(kName);
    setWindowTitle("DateiShredder");
    setFixedSize(400, 215);

    Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setGeometry(10, 64, 230, 36);

    Label2 = new QLabel("Zu zerstörende Datei auswählen:", this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(15, 10, 320, 18);

    Fname = new QLineEdit(this);
    Fname->setObjectName("Fname");
    Fname->setGeometry(15, 32, 330, 24);

    auto pictureButton = [this](const char *name, QStyle::StandardPixmap icon, const QString &tip, int x, int y) {
        auto *b = new QPushButton(this);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setGeometry(x, y, 34, 30);
        return b;
    };
    Command1 = pictureButton("Command1", QStyle::SP_DialogOpenButton, "Zu zerstörende Datei öffnen.", 352, 29);

    createMethodChoice();

    Command2 = new QPushButton("Datei zerstören", this);
    Command2->setObjectName("Command2");
    Command2->setGeometry(252, 66, 133, 32);
    Command2->setEnabled(false);

    createProgress();

    Command3 = pictureButton("Command3", QStyle::SP_MessageBoxInformation, "Info", 310, 174);
    Command4 = pictureButton("Command4", QStyle::SP_DialogCloseButton, "DateiShredder Beenden", 352, 174);

    connect(Command1, &QPushButton::clicked, this, [this] { choose(); });
    connect(Command2, &QPushButton::clicked, this, [this] { destroyFile(); });
    connect(Command3, &QPushButton::clicked, this, [this] {
        if (s_.registry) s_.registry->show("frmShredderInfo");
    });
    connect(Command4, &QPushButton::clicked, this, [this] { close(); });

    CentreOnScreen(this);
}

void FrmWipe::resetDisplay() {
    Picture1->setBackground(IdleColour());
    Label1->setText("0 %");
    Label3->hide();
}

void FrmWipe::choose() {
    resetDisplay();
    QString folder = QDir::currentPath();
    const QString name =
        ShowOpenDialog(s_, this, "Zu zerstörende Datei auswählen", folder, "", "Alle Dateien (*.*)|*.*", "*.*");
    const QChar sep = QLatin1Char(platform::PathSeparator());
    if (!folder.endsWith(sep)) folder += sep;
    if (!name.isEmpty()) {
        Command2->setEnabled(true);
        Fname->setText(folder + name);
    } else {
        Command2->setEnabled(false);
        Fname->clear();
    }
}

void FrmWipe::destroyFile() {
    resetDisplay();
    const QString path = Fname->text();
    if (path.isEmpty()) return;
    const std::string p = S(path);
    if (is_link(p)) {
        refuseLink(path);
        return;
    }
    const platform::PathKind kind = platform::KindOf(p);
    if (kind == platform::PathKind::Directory || kind == platform::PathKind::Other) {
        s_.messages->show(Icon::None, "DateiShredder-Nachricht",
                          S("\"" + path +
                            "\" ist keine gewöhnliche Datei (ein Ordner, eine Pipe oder ein Gerät) "
                            "und wird nicht zerstört."));
        return;
    }
    // Only what a plain directory search lists: hidden files and folders are not offered.
    const int attrs = platform::GetFileAttributes(p);
    if (!platform::IsRegularFile(p) || attrs == -1 || (attrs & platform::AttrHidden)) {
        s_.messages->show(Icon::None, "DateiShredder-Nachricht",
                          "Die Datei wurde nicht gefunden. Die Datei ist entweder nicht vorhanden, "
                          "es ist eine versteckte Datei oder eine Systemdatei. Dateiattribute "
                          "überprüfen!");
        return;
    }
    if (attrs & platform::AttrReadOnly) {
        Answer a = s_.messages->show(
            Icon::Question, kMessageTitle,
            S("Die Datei " + path + " ist schreibgeschützt. Soll der Schreibschutz entfernt werden?"), Buttons::YesNo);
        if (a != Answer::Yes) return;
        platform::SetFileAttributes(p, platform::AttrNormal);
    }
    if (s_.messages->show(Icon::Question, "DateiShredder - Kontrollabfrage",
                          S("Soll die  Datei " + path + " jetzt unwiderruflich zerstört werden?"),
                          Buttons::YesNo) != Answer::Yes)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    wipe(path);
    QApplication::restoreOverrideCursor();
}

void FrmWipe::wipe(const QString &sFileName) {
    setEnabled(false);
    running_ = true;
    WindowObserver observer(*this, s_);
    const WipeResult result = shredder::wipe(S(sFileName), method(), observer);
    running_ = false;
    if (result == WipeResult::IsLink) {
        setEnabled(true);
        refuseLink(sFileName);
        return;
    }
    if (result == WipeResult::Replaced) {
        setEnabled(true);
        resetDisplay();
        s_.messages->show(Icon::Exclamation, kMessageTitle,
                          S("Die Datei " + sFileName +
                            " wurde während des Überschreibens durch eine andere Datei oder eine Verknüpfung "
                            "ersetzt. Der Vorgang wurde abgebrochen; die neue Datei wurde nicht angetastet."));
        return;
    }
    if (result == WipeResult::OpenFailed) {
        setEnabled(true);
        resetDisplay();
        s_.messages->show(Icon::Exclamation, kMessageTitle,
                          "Die Datei kann nicht geöffnet werden. Sie wird wahrscheinlich von einer "
                          "anderen Anwendung benutzt.");
        return;
    }
    Picture1->setBackground(BarColour());
    Label1->setText("100 %");
    if (result == WipeResult::NotDeleted) {
        Picture1->setBackground(FailedColour());
        Label1->setText("0 %");
        Label3->hide();
        s_.messages->show(Icon::Critical, S(s_.programName()),
                          S("Die Datei " + sFileName +
                            " konnte nicht gelöscht werden! Starten sie das Programm als "
                            "Administrator."));
    } else {
        Label3->show();
    }
    setEnabled(true);
}

void FrmWipe::refuseLink(const QString &path) {
    s_.messages->show(Icon::Exclamation, kMessageTitle,
                      S("Die Datei " + path +
                        " ist eine Verknüpfung (symbolischer Link). Verknüpfungen werden nicht "
                        "zerstört; es wurde nichts verändert. Wählen Sie die Datei aus, auf die "
                        "die Verknüpfung zeigt."));
}

void FrmWipe::closeEvent(QCloseEvent *event) {
    // The run pumps events; the window must outlive it.
    if (running_) {
        event->ignore();
        return;
    }
    event->accept();
    if (s_.registry && s_.registry->existing(kName) == this) s_.registry->unload(kName);
}

} // namespace kalmira::shredder
