#include "convert/frmConvert.h"
#include "convert/register.h"

#include "fakes_ui.h"
#include "platform/platform.h"
#include "test_images.h"

#include <QImage>
#include <QMouseEvent>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::convert;

namespace {
const QString kCheck = QString(QChar(0x2714));

QString MakePicture(const test::TempDir &dir, const std::string &name, int w, int h,
                    const char *format = "PNG") {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(90, 60, 200));
    const QString path = QString::fromStdString(dir.file(name));
    img.save(path, format);
    return path;
}

std::uint32_t u32(const std::vector<std::uint8_t> &v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<std::uint32_t>(v[at + 3]) << 24);
}

void MoveOver(QWidget *w) {
    QMouseEvent e(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}
} // namespace

class FrmConvertTest : public QObject {
    Q_OBJECT
private slots:
    void designedState() {
        test::TestServices t;
        FrmConvert f(t.services);
        QCOMPARE(f.windowTitle(), QString("JPG,GIF,WMF,RLE,BMP(<24) -> nach 24  Bit TrueColor BMP"));
        QCOMPARE(f.Label3->text(), kCheck);
        QCOMPARE(f.optConvert(), 1);
        QVERIFY(!f.Command2->isEnabled());
        QVERIFY(f.Label2->text().isEmpty());
        QCOMPARE(f.convDir(), QString::fromStdString(platform::ProgramFolder()));
        QCOMPARE(f.findChild<QWidget *>("Shape1")->geometry(),
                 f.Picture2->geometry().adjusted(-2, -2, 3, 3));
        for (auto *b : {f.Command1, f.Command2, f.Command4, f.Command5})
            QCOMPARE(FrmConvert::backColour(b), FrmConvert::kButtonColour);
    }

    void togglingBeforeLoadingOnlyChangesTheMark() {
        test::TestServices t;
        FrmConvert f(t.services);
        QTest::mouseClick(f.Label3, Qt::LeftButton);
        QVERIFY(f.Label3->text().isEmpty());
        QCOMPARE(f.optConvert(), 0);
        QTest::mouseClick(f.Label4, Qt::LeftButton);
        QCOMPARE(f.Label3->text(), kCheck);
        QCOMPARE(f.optConvert(), 1);
        QVERIFY(f.Label2->text().isEmpty());
        QVERIFY(f.picture1().empty());
        QVERIFY(t.dialogs.openRequests.empty());
        QVERIFY(t.messages.shown.empty());
    }

    void loadConvertAndSwitchMode() {
        test::TestServices t;
        test::TempDir dir;
        FrmConvert f(t.services);
        const QString src = MakePicture(dir, "bild.png", 101, 80);
        t.dialogs.openAnswers.push_back(src);
        f.Command1->click();
        const DialogRequest &open = t.dialogs.openRequests.at(0);
        QCOMPARE(open.title, QString("Zu konvertierende Datei öffnen"));
        QCOMPARE(open.filter, QString("Bilddateien (*.jpg;*.gif;*.wmf;*.rle;*.bmp)|*.jpg;*.gif;*.wmf;*.rle;*.bmp| Alle Dateien (*.*)|*.*"));
        QCOMPARE(open.defaultExt, QString("*.*"));
        QCOMPARE(open.folder, QString::fromStdString(platform::ProgramFolder()));
        QCOMPARE(f.Label2->text(), src);
        QVERIFY(f.Command2->isEnabled());
        QCOMPARE(f.picture1().width, 100);
        QCOMPARE(f.picture1().height, 79);
        QVERIFY(!f.Anzeige1->isHidden());
        QCOMPARE(f.Anzeige1->size(), QSize(157, 157 * 80 / 101));

        // Converting proposes the program's folder, whatever the source folder.
        const std::string out = dir.file("ziel.bmp");
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        const DialogRequest &save = t.dialogs.saveRequests.at(0);
        QCOMPARE(save.title, QString("Konvertierte Bilddatei speichern unter ..."));
        QCOMPARE(save.fileName, QString("bild.bmp"));
        QCOMPARE(save.folder, QString::fromStdString(platform::ProgramFolder()));
        QCOMPARE(save.filter, QString("24-Bit TrueColor BMP-Bild (*.bmp)|*.bmp"));
        auto v = test::ReadAll(out);
        QCOMPARE(u32(v, 18), 100u);
        QCOMPARE(t.messages.shown.back().title, std::string("BildConverter-Nachricht"));
        QCOMPARE(t.messages.shown.back().icon, Icon::Information);
        QCOMPARE(t.messages.last(), std::string("Die Bilddatei \"bild.png\" wurde in eine 24-Bit Datei konvertiert."));

        // Switching the mode off reloads the picture at its own size; the
        // older file is replaced.
        QTest::mouseClick(f.Label3, Qt::LeftButton);
        QCOMPARE(f.picture1().width, 101);
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        v = test::ReadAll(out);
        QCOMPARE(u32(v, 18), 101u);
        QCOMPARE(v.size(), std::size_t(54 + 304 * 80));

        // Cancelling the next load empties the window.
        t.dialogs.openAnswers.push_back("");
        f.Command1->click();
        QVERIFY(!f.Command2->isEnabled());
        QVERIFY(f.Label2->text().isEmpty());
        QVERIFY(f.picture1().empty());
        QVERIFY(f.Anzeige1->isHidden());
    }

    void proposedNameReplacesTheLastThreeCharacters() {
        test::TestServices t;
        test::TempDir dir;
        FrmConvert f(t.services);
        t.dialogs.openAnswers.push_back(MakePicture(dir, "foto.jpeg", 20, 30, "JPG"));
        f.Command1->click();
        QCOMPARE(f.picture1().width, 20);
        QCOMPARE(f.Anzeige1->size(), QSize(104, 157));
        t.dialogs.saveAnswers.push_back("");
        f.Command2->click();
        QCOMPARE(t.dialogs.saveRequests.at(0).fileName, QString("foto.jbmp"));
        QVERIFY(t.messages.shown.empty());

        // A name shorter than three characters ends the button silently.
        t.dialogs.openAnswers.push_back(MakePicture(dir, "ab", 8, 8));
        f.Command1->click();
        QVERIFY(!f.picture1().empty());
        f.Command2->click();
        QCOMPARE(t.dialogs.saveRequests.size(), std::size_t(1));
        QVERIFY(t.messages.shown.empty());
    }

    void undecodablePictureIsNeverWritten() {
        test::TestServices t;
        test::TempDir dir;
        FrmConvert f(t.services);
        t.dialogs.openAnswers.push_back(MakePicture(dir, "gut.png", 12, 12));
        f.Command1->click();
        test::WriteAll(dir.file("kaputt.gif"), std::string("GIF89a kaputt"));
        t.dialogs.openAnswers.push_back(QString::fromStdString(dir.file("kaputt.gif")));
        f.Command1->click();
        QCOMPARE(f.Label2->text(), QString("Bild kann nicht angezeigt werden!"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Anzeige1->isHidden());

        const std::string out = dir.file("alt.bmp");
        test::WriteAll(out, std::string("alte Datei"));
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        QCOMPARE(t.messages.shown.size(), std::size_t(1));
        QCOMPARE(t.messages.last(), std::string("Fehler beim Speichern der Bitmap!"));
        QCOMPARE(t.messages.shown[0].title, std::string("Bildconverter-Error-Nachricht"));
        QCOMPARE(t.messages.shown[0].icon, Icon::Critical);
        QCOMPARE(test::ReadAll(out).size(), std::size_t(10));
    }

    void infoText() {
        test::TestServices t;
        FrmConvert f(t.services);
        f.Command4->click();
        const auto &m = t.messages.shown.at(0);
        QCOMPARE(m.title, std::string("BildConverter - Info"));
        QCOMPARE(m.icon, Icon::Information);
        const std::string first = "Das Programm KalmiraA(b) liefert die besten Ergebnisse nur bei Verwendung von";
        QCOMPARE(m.text.substr(0, first.size()), first);
        QVERIFY(m.text.find("nur das Speicherformat wird verändert.\r\nIst die CheckBox \"Für Kalmira optimiert konvertieren\" aktiviert") != std::string::npos);
        QCOMPARE(m.text.find('\n'), m.text.rfind('\n'));
        QVERIFY(m.text.ends_with("um maximal 2 Pixel verändern."));
    }

    void hoverColours() {
        test::TestServices t;
        FrmConvert f(t.services);
        MoveOver(f.Command2);
        QCOMPARE(FrmConvert::backColour(f.Command2), FrmConvert::kHoverColour);
        for (auto *b : {f.Command1, f.Command4, f.Command5})
            QCOMPARE(FrmConvert::backColour(b), FrmConvert::kButtonColour);
        MoveOver(f.Command5);
        QCOMPARE(FrmConvert::backColour(f.Command2), FrmConvert::kButtonColour);
        QCOMPARE(FrmConvert::backColour(f.Command5), FrmConvert::kHoverColour);
        MoveOver(f.Picture2);
        for (auto *b : {f.Command1, f.Command2, f.Command4, f.Command5})
            QCOMPARE(FrmConvert::backColour(b), FrmConvert::kButtonColour);
    }

    void endReleasesTheInstance() {
        test::TestServices t;
        RegisterWindows(t.services);
        QWidget owner;
        ShowConverter(t.services, &owner);
        auto *f = qobject_cast<FrmConvert *>(t.registry.existing("frmConvert"));
        QVERIFY(f);
        QVERIFY(f->isVisible());
        QCOMPARE(f->parentWidget(), &owner);
        QTest::mouseClick(f->Label3, Qt::LeftButton);
        QCOMPARE(f->optConvert(), 0);
        QPointer<FrmConvert> gone = f;
        f->Command5->click();
        QVERIFY(!t.registry.existing("frmConvert"));
        QTRY_VERIFY(gone.isNull());
        ShowConverter(t.services);
        f = qobject_cast<FrmConvert *>(t.registry.existing("frmConvert"));
        QVERIFY(f);
        QCOMPARE(f->optConvert(), 1);
        t.registry.unloadAll();
    }
};

QTEST_MAIN(FrmConvertTest)
#include "frmConvert_test.moc"
