#include "shell/frmStart.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"
#include "shell/window_parts.h"

#include "fakes_ui.h"

#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

#include <ctime>

using namespace kalmira;

namespace {
// Stands in for an extract window: the controls the start window drives.
struct ExtractStub : QWidget {
    QLineEdit *text4 = new QLineEdit(this);
    QPushButton *carrier = new QPushButton(this);
    QPushButton *extract = new QPushButton(this);
    QStringList log;
    ExtractStub() {
        text4->setObjectName("Text4");
        carrier->setObjectName("Command1");
        extract->setObjectName("Command2");
        connect(carrier, &QPushButton::clicked, this,
                [this] { log << "carrier:" + carrier->property("Tag").toString(); });
        connect(extract, &QPushButton::clicked, this, [this] { log << "extract:" + text4->text(); });
    }
};
} // namespace

class FrmStartTest : public QObject {
    Q_OBJECT
private slots:
    void programAMessageLimitIsSetOnLoad() {
        test::TestServices a(Program::A);
        a.services.maxMessageSize = 0;
        FrmStart sa(a.services);
        sa.load();
        QVERIFY(sa.isVisible() && a.services.maxMessageSize == 65535);
    }

    void carrierArgumentStartsExtractionOthersAreIgnored() {
        test::TestServices t;
        ExtractStub *stub = nullptr;
        t.registry.registerFactory("frmEx", [&] { return stub = new ExtractStub; });
        FrmStart s(t.services);
        QVERIFY(!s.handleCommandLine("C:\\bild.jpg") && !s.handleCommandLine("") && !stub);
        t.services.commandLine = "\"/tmp/mit blank/BILD.BMP\"";
        s.load();
        QVERIFY(stub && stub->isVisible() && !s.isVisible());
        QCOMPARE(stub->log, QStringList({"carrier:/tmp/mit blank/BILD.BMP", "extract:/tmp/mit blank/BILD.BMP"}));
        delete stub;
    }

    void buttonsOpenWindowsAndQuitEndsProgram() {
        test::TestServices t;
        t.registry.registerFactory("frmV", [] { return new QWidget; });
        t.registry.registerFactory("frmInfo", [] { return new QWidget; });
        FrmStart s(t.services);
        s.show();
        s.Command4->click();
        QVERIFY(t.registry.existing("frmInfo")->isVisible() && s.isVisible());
        s.Command1->click();
        QVERIFY(t.registry.existing("frmV")->isVisible() && !s.isVisible());
        s.show();
        s.Command2->click();
        QVERIFY(s.isVisible()); // no extract window in this run
        s.Command3->click();
        QVERIFY(t.exits == std::vector<int>{0} && !t.registry.existing("frmInfo"));
        t.registry.unloadAll();
    }

    void thumbnailScalesIntoItsFrame() {
        test::TestServices t;
        test::TempDir dir;
        QWidget w;
        auto *frame = new QWidget(&w);
        frame->setObjectName("Picture2");
        frame->resize(200, 200);
        auto *view = new QLabel(frame);
        view->setObjectName("Anzeige1");
        struct Case {
            int w, h, expectW, expectH;
        };
        for (Case c : {Case{400, 300, 157, 117}, Case{300, 400, 117, 157}, Case{10, 10, 10, 10}}) {
            const std::string path = dir.file("t.bmp");
            test::WriteAll(path, test::MakeBmp(c.w, c.h));
            ShowBmpThumbnail(t.services, &w, QString::fromStdString(path));
            QVERIFY(Flags().carrierUsable);
            QCOMPARE(view->size(), QSize(c.expectW, c.expectH));
        }
        test::WriteAll(dir.file("bad.bmp"), std::string("BMkaputt"));
        ShowBmpThumbnail(t.services, &w, QString::fromStdString(dir.file("bad.bmp")));
        QVERIFY(!Flags().carrierUsable && t.messages.shown.back().icon == Icon::Critical);

        // Beyond the readers' memory limit the picture is still a usable carrier.
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        test::WriteAll(dir.file("gross.bmp"), test::MakeBmp(1000, 600));
        ShowBmpThumbnail(t.services, &w, QString::fromStdString(dir.file("gross.bmp")));
        QImageReader::setAllocationLimit(limit);
        QVERIFY(Flags().carrierUsable && t.messages.contains("Zu wenig Speicher!"));
    }

    // The pieces every window relies on.
    void allFilesFilterListsNamesWithoutDot() {
        QCOMPARE(QtFilterFromPairs("BMP o. WAV-Dateien (*.bmp;*.wav)|*.bmp;*.wav| Alle Dateien (*.*)|*.*"),
                 QString("BMP o. WAV-Dateien (*.bmp *.wav);;Alle Dateien (*)"));
    }

    void endRequestedBeforeTheEventLoopRunsStillEnds() {
        // An extraction started from the command line ends the program inside load().
        DefaultServices(Program::B).exitProgram(3);
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 3);
    }

    void pauseServesEventsWithoutSpinning() {
        bool served = false;
        QTimer::singleShot(20, [&] { served = true; });
        const std::clock_t cpu = std::clock();
        QElapsedTimer wall;
        wall.start();
        WaitFor(0.3);
        QVERIFY(served && wall.elapsed() >= 299);
        // A spinning wait burns the whole 0.3 s of processor time.
        QVERIFY((std::clock() - cpu) * 1000 / CLOCKS_PER_SEC < 150);
    }

    void openingWithoutAnOpenerSaysSo() {
        test::TestServices t;
        t.desktop.result = 31;
        t.desktop.hasOpener = false;
        OpenWithApplication(t.services, "/tmp/bericht.pdf");
        QVERIFY(t.messages.last().starts_with("Die Datei \"/tmp/bericht.pdf\" konnte nicht geöffnet werden"));
        t.desktop.hasOpener = true;
        OpenWithApplication(t.services, "/tmp/bericht.pdf");
        QCOMPARE(t.messages.shown.size(), std::size_t(1));
    }
};

QTEST_MAIN(FrmStartTest)
#include "frmStart_test.moc"
