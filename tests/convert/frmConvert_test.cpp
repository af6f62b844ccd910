#include "convert/frmConvert.h"
#include "convert/register.h"

#include "fakes_ui.h"
#include "platform/platform.h"

#include <QImage>
#include <QImageReader>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::convert;

namespace {
const QString kCheck = QString(QChar(0x2714));
const QString kProgramFolder = QString::fromStdString(platform::ProgramFolder());

QString MakePicture(const test::TempDir &dir, const std::string &name, int w, int h, const char *format = "PNG") {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(90, 60, 200));
    img.save(QString::fromStdString(dir.file(name)), format);
    return QString::fromStdString(dir.file(name));
}

std::uint32_t BmpWidth(const std::string &path) {
    const auto v = test::ReadAll(path);
    return v[18] | v[19] << 8 | v[20] << 16 | static_cast<std::uint32_t>(v[21]) << 24;
}
} // namespace

class FrmConvertTest : public QObject {
    Q_OBJECT
private slots:
    void designedStateAndToggling() {
        test::TestServices t;
        FrmConvert f(t.services);
        QVERIFY(f.Label3->text() == kCheck && f.optConvert() == 1 && !f.Command2->isEnabled());
        // Window managers cut a caption that is wider than the window.
        QFont bold = f.font();
        bold.setBold(true);
        QVERIFY(f.width() > QFontMetrics(bold).horizontalAdvance(f.windowTitle()) + 100 && f.width() < 1366);
        // Toggling before loading only changes the mark.
        QTest::mouseClick(f.Label3, Qt::LeftButton);
        QVERIFY(f.Label3->text().isEmpty() && f.optConvert() == 0);
        QTest::mouseClick(f.Label4, Qt::LeftButton);
        QVERIFY(f.Label3->text() == kCheck && f.optConvert() == 1 && f.picture1().empty());
        QVERIFY(t.dialogs.openRequests.empty() && t.messages.shown.empty());
    }

    void loadConvertAndSwitchMode() {
        test::TestServices t;
        test::TempDir dir;
        FrmConvert f(t.services);
        const QString src = MakePicture(dir, "bild.png", 101, 80);
        t.dialogs.openAnswers.push_back(src);
        f.Command1->click();
        QVERIFY(f.Label2->text() == src && f.Command2->isEnabled() && f.picture1().width == 100);

        // Converting proposes the program's folder, whatever the source folder.
        const std::string out = dir.file("ziel.bmp");
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        const DialogRequest &save = t.dialogs.saveRequests.at(0);
        QCOMPARE(save.fileName + "|" + save.folder, "bild.bmp|" + kProgramFolder);
        QCOMPARE(BmpWidth(out), 100u);
        QCOMPARE(t.messages.last(), std::string("Die Bilddatei \"bild.png\" wurde in eine 24-Bit Datei konvertiert."));

        // Switching the mode off reloads the picture at its own size; the older file is replaced.
        QTest::mouseClick(f.Label3, Qt::LeftButton);
        QCOMPARE(f.picture1().width, 101);
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        QCOMPARE(BmpWidth(out), 101u);

        t.dialogs.openAnswers.push_back(""); // cancelling the next load empties the window
        f.Command1->click();
        QVERIFY(!f.Command2->isEnabled() && f.Label2->text().isEmpty() && f.picture1().empty() &&
                f.Anzeige1->isHidden());

        // The proposed name replaces the last three characters.
        t.dialogs.openAnswers.push_back(MakePicture(dir, "foto.jpeg", 20, 30, "JPG"));
        f.Command1->click();
        t.dialogs.saveAnswers.push_back("");
        f.Command2->click();
        QCOMPARE(t.dialogs.saveRequests.at(2).fileName, QString("foto.jbmp"));

        // A name shorter than three characters ends the button silently.
        t.dialogs.openAnswers.push_back(MakePicture(dir, "ab", 8, 8));
        f.Command1->click();
        QVERIFY(!f.picture1().empty());
        f.Command2->click();
        QVERIFY(t.dialogs.saveRequests.size() == 3 && t.messages.shown.size() == 2);
    }

    // Reducing takes effect at once and before the pad-free size; a name
    // ending in .png writes an 8-bit RGB PNG.
    void reduceAndWritePng() {
        test::TestServices t;
        test::TempDir dir;
        FrmConvert f(t.services);
        QCOMPARE(f.Combo1->count(), 4);
        QCOMPARE(f.reduceBy(), 1);
        t.dialogs.openAnswers.push_back(MakePicture(dir, "bild.png", 101, 80));
        f.Command1->click();
        f.Combo1->setCurrentIndex(1);
        QCOMPARE(f.picture1().width, 52); // 101 / 2 rounded to 51, then the pad-free 52
        const std::string out = dir.file("traeger.png");
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        QVERIFY(t.dialogs.saveRequests.at(0).filter.contains("*.png"));
        QCOMPARE(t.messages.last(),
                 std::string("Die Bilddatei \"bild.png\" wurde in eine PNG-Datei (8 Bit RGB) konvertiert."));
        const auto v = test::ReadAll(out);
        QVERIFY(v.size() > 33 && v[1] == 'P' && v[2] == 'N' && v[3] == 'G');
        QCOMPARE(v[19] | v[18] << 8, 52);  // IHDR width
        QVERIFY(v[24] == 8 && v[25] == 2); // 8 bits, RGB
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
        QVERIFY(f.Command2->isEnabled() && f.Anzeige1->isHidden());

        // A picture beyond the readers' memory limit says so.
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        t.dialogs.openAnswers.push_back(MakePicture(dir, "gross.png", 1000, 600));
        f.Command1->click();
        QImageReader::setAllocationLimit(limit);
        QCOMPARE(f.Label2->text(), QString("Bild ist zu groß für den Arbeitsspeicher: 1000 x 600 Pixel brauchen 3 MB, "
                                           "erlaubt sind 1 MB."));

        const std::string out = dir.file("alt.bmp");
        test::WriteAll(out, std::string("alte Datei"));
        t.dialogs.saveAnswers.push_back(QString::fromStdString(out));
        f.Command2->click();
        QVERIFY(t.messages.shown.size() == 1 && t.messages.last() == "Fehler beim Speichern der Bitmap!");
        QCOMPARE(test::ReadAll(out).size(), std::size_t(10));
    }

    void infoTextAndEndReleasesTheInstance() {
        test::TestServices t;
        RegisterWindows(t.services);
        QWidget owner;
        ShowConverter(t.services, &owner);
        auto *f = qobject_cast<FrmConvert *>(t.registry.existing("frmConvert"));
        QVERIFY(f && f->isVisible() && f->parentWidget() == &owner);
        f->Command4->click();
        QVERIFY(t.messages.shown.at(0).text.starts_with("Das Programm KalmiraA(b) liefert die besten Ergebnisse"));

        QTest::mouseClick(f->Label3, Qt::LeftButton);
        QPointer<FrmConvert> gone = f;
        f->Command5->click();
        QVERIFY(!t.registry.existing("frmConvert"));
        QTRY_VERIFY(gone.isNull());
        ShowConverter(t.services);
        f = qobject_cast<FrmConvert *>(t.registry.existing("frmConvert"));
        QVERIFY(f && f->optConvert() == 1); // a fresh instance
        t.registry.unloadAll();
    }
};

QTEST_MAIN(FrmConvertTest)
#include "frmConvert_test.moc"
