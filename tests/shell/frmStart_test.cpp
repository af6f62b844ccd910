#include "shell/frmStart.h"

#include "fakes_ui.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

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
    void captionsOfBothPrograms() {
        test::TestServices b(Program::B);
        FrmStart sb(b.services);
        QCOMPARE(sb.windowTitle(), QString("Steganographie mit KalmiraB  "));
        QCOMPARE(sb.Command1->text(), QString("Eine Datei in einer BMP-Bild oder WAV-Sounddatei verstecken"));
        QCOMPARE(sb.Command2->text(), QString("Eine vorher versteckte Datei  extrahieren"));
        QCOMPARE(sb.Command3->text(), QString("Beenden"));
        QCOMPARE(sb.Command4->text(), QString("Info"));
        test::TestServices a(Program::A);
        a.services.maxMessageSize = 0;
        FrmStart sa(a.services);
        QCOMPARE(sa.windowTitle(), QString("Steganographie mit KalmiraA   (für ASCII-Textdateien)"));
        QCOMPARE(sa.Command1->text(), QString(" Botschaft in einer BMP-Bild oder WAV-Sounddatei verstecken"));
        QCOMPARE(sa.Command2->text(), QString("Eine vorher versteckte Botschaft  extrahieren"));
        sa.load();
        QCOMPARE(a.services.maxMessageSize, 65535);
        QVERIFY(sa.isVisible());
        const auto labels = sa.findChildren<QLabel *>("Label1");
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->text(), QString("KALMIRAA"));
    }

    void carrierArgumentStartsExtraction() {
        test::TestServices t;
        ExtractStub *stub = nullptr;
        t.registry.registerFactory("frmEx", [&] { return stub = new ExtractStub; });
        FrmStart s(t.services);
        t.services.commandLine = "\"/tmp/mit blank/BILD.BMP\"";
        s.load();
        QVERIFY(stub);
        QCOMPARE(stub->log, QStringList({"carrier:/tmp/mit blank/BILD.BMP",
                                         "extract:/tmp/mit blank/BILD.BMP"}));
        QCOMPARE(stub->carrier->property("Tag").toString(), QString());
        QVERIFY(!s.isVisible());
        QVERIFY(stub->isVisible());
        delete stub;
    }

    void otherArgumentsAreIgnored() {
        test::TestServices t;
        bool created = false;
        t.registry.registerFactory("frmEx", [&] { created = true; return new ExtractStub; });
        FrmStart s(t.services);
        QVERIFY(!s.handleCommandLine("C:\\bild.jpg"));
        QVERIFY(!s.handleCommandLine(""));
        QVERIFY(!created);
        QVERIFY(s.handleCommandLine("x.Wav"));
        t.registry.unloadAll();
    }

    void buttonsOpenWindowsAndQuitEndsProgram() {
        test::TestServices t;
        t.registry.registerFactory("frmV", [] { return new QWidget; });
        t.registry.registerFactory("frmInfo", [] { return new QWidget; });
        FrmStart s(t.services);
        s.show();
        s.Command4->click();
        QVERIFY(t.registry.existing("frmInfo")->isVisible());
        QVERIFY(s.isVisible());
        s.Command1->click();
        QVERIFY(t.registry.existing("frmV")->isVisible());
        QVERIFY(!s.isVisible());
        // No extract window in this program run: the start window stays.
        s.show();
        s.Command2->click();
        QVERIFY(s.isVisible());
        s.Command3->click();
        QCOMPARE(t.exits, std::vector<int>{0});
        QVERIFY(!t.registry.existing("frmInfo"));
        t.registry.unloadAll();
    }
};

QTEST_MAIN(FrmStartTest)
#include "frmStart_test.moc"
