// Both main windows of each program in one run: hide through frmV, switch
// with its button, extract through frmEx.
#include "carriers.h"
#include "crypto/register.h"
#include "extract/frmEx_message.h"
#include "extract/register.h"
#include "fakes_ui.h"
#include "hide/frmV_message.h"
#include "hide/register.h"
#include "platform/platform.h"
#include "shell/frmStart.h"
#include "shell/helpers.h"

#include <QPlainTextEdit>
#include <QtTest>

using namespace kalmira;

namespace {

QString QS(const std::string &s) { return QString::fromStdString(s); }

struct Run {
    explicit Run(kalmira::Program p) : t(p) {
        ::setenv("TMPDIR", tmp.path().c_str(), 1);
        hide::RegisterWindows(t.services);
        extract::RegisterWindows(t.services);
        t.registry.registerFactory("frmStart", [this] { return new FrmStart(t.services); });
        v = t.registry.get<hide::FrmV>("frmV");
        v->pauseFor = [](double) {};
        v->askPassword = [] { return std::optional<QString>(crypto::PaddedPassword("Sesam")); };
    }
    ~Run() {
        t.registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ::unsetenv("TMPDIR");
    }
    extract::FrmEx *switchToExtract() {
        v->Command2->click();
        auto *e = qobject_cast<extract::FrmEx *>(t.registry.existing("frmEx"));
        if (e) {
            e->pauseFor = [](double) {};
            e->askPassword = [e] { e->Text1->setText(crypto::PaddedPassword("Sesam")); };
        }
        return e;
    }

    test::TestServices t;
    test::TempDir dir, tmp;
    hide::FrmV *v = nullptr;
};

} // namespace

class ProgramsTest : public QObject {
    Q_OBJECT
private slots:
    void kalmiraBHidesAndExtractsThroughItsWindows() {
        // One run per mode (none, AES, RC4); both carrier kinds.
        for (auto [cipher, wav] : {std::pair{-1, false}, std::pair{0, true}, std::pair{1, false}}) {
            {
                Run p(kalmira::Program::B);
                const auto plain = test::RandomBytes(20000, 3);
                test::WriteAll(p.dir.file("Akte.bin"), plain);
                const std::string carrier = p.dir.file(wav ? "träger.wav" : "träger.bmp");
                test::WriteAll(carrier, wav ? test::MakeWav(400000) : test::MakeBmp(300, 300));

                p.t.dialogs.openAnswers = {QS(p.dir.file("Akte.bin")), QS(carrier)};
                p.v->Command3->click();   // the file to hide, compressed at once
                p.v->Befehl2->click();    // the carrier
                QVERIFY(p.v->Befehl1->isEnabled());
                if (cipher < 0) {
                    p.v->Check1->setChecked(false);
                } else {
                    p.v->Check1->setChecked(true);
                    p.v->optCrypt[cipher]->setChecked(true);
                }
                p.v->Befehl1->click();
                QCOMPARE(p.v->windowTitle(), QString("KalmiraB - Verstecken"));

                extract::FrmEx *e = p.switchToExtract();
                QVERIFY(e && e->isVisible());
                QVERIFY(!p.v->isVisible());
                p.t.dialogs.openAnswers = {QS(carrier)};
                e->Command1->click();
                const std::string dest = p.dir.file("zurück.bin");
                p.t.dialogs.saveAnswers = {QS(dest)};
                e->Command2->click();
                QCOMPARE(test::ReadAll(dest), plain);
                QCOMPARE(p.t.dialogs.saveRequests.back().fileName, QString("Akte.bin"));
                QVERIFY(p.t.exits.empty());
            }
        }
    }

    void kalmiraAMessagesSurviveTheRoundTrip() {
        for (int cipher : {-1, 0, 1}) {
            Run p(kalmira::Program::A);
            const std::string carrier = p.dir.file("bild.bmp");
            test::WriteAll(carrier, test::MakeBmp(200, 200));
            const QString message = "Grüße aus Köln,\r\nwir treffen uns um 12 Uhr.\r\nÄÖÜ ß €";
            qobject_cast<hide::FrmVMessage *>(p.v)->Text2->setPlainText(message);
            p.t.dialogs.openAnswers = {QS(carrier)};
            p.v->Befehl2->click();
            p.v->Check1->setChecked(cipher >= 0);
            if (cipher >= 0) p.v->optCrypt[cipher]->setChecked(true);
            p.v->Befehl1->click();

            auto *e = qobject_cast<extract::FrmExMessage *>(p.switchToExtract());
            QVERIFY(e);
            p.t.dialogs.openAnswers = {QS(carrier)};
            e->Command1->click();
            e->Command2->click();
            QCOMPARE(e->Text3->toPlainText().replace("\r\n", "\n"), QString(message).replace("\r\n", "\n"));
            QVERIFY(e->Command6->isEnabled());
            const std::string saved = p.dir.file("Botschaft.txt");
            p.t.dialogs.saveAnswers = {QS(saved)};
            e->Command6->click();
            const std::string ansi = platform::AnsiFromUtf8(message.toStdString());
            QCOMPARE(test::ReadAll(saved), std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
        }
    }

    // The stealth option: off at start; ticked, the run goes through the
    // stealth engine with the password as typed, and the extract window falls
    // back to the format after finding nothing classic. One run per program.
    void stealthRunsRoundTripThroughBothWindows() {
        for (kalmira::Program program : {kalmira::Program::B, kalmira::Program::A}) {
            Run p(program);
            QVERIFY(!p.v->checkTarn->isChecked());
            QVERIFY(p.v->Check1->isEnabled());
            p.v->askPassword = [] { return std::optional<QString>("Sesam"); };
            const std::string carrier = p.dir.file("tarn.bmp");
            const auto original = test::MakeBmp(300, 300);
            test::WriteAll(carrier, original);
            const auto plain = test::RandomBytes(20000, 5);
            const QString message = "Grüße,\r\nÄÖÜ ß €";
            if (program == kalmira::Program::B) {
                test::WriteAll(p.dir.file("Akte.bin"), plain);
                p.t.dialogs.openAnswers = {QS(p.dir.file("Akte.bin")), QS(carrier)};
                p.v->Command3->click();   // compressed for the classic format ...
                p.v->Befehl2->click();
                p.v->checkTarn->click(); // ... and taken as it is once ticked
            } else {
                qobject_cast<hide::FrmVMessage *>(p.v)->Text2->setPlainText(message);
                p.v->checkTarn->click();
                p.t.dialogs.openAnswers = {QS(carrier)};
                p.v->Befehl2->click();
            }
            QVERIFY(!p.v->Check1->isEnabled() && !p.v->optCrypt[0]->isEnabled());
            QVERIFY(p.v->Befehl1->isEnabled());
            p.v->Befehl1->click();
            QVERIFY2(p.t.messages.last().find("im Tarnformat in") != std::string::npos, p.t.messages.last().c_str());
            QVERIFY(test::ReadAll(carrier) != original);
            QVERIFY(!test::HeaderOf(test::ReadAll(carrier)).mode.has_value()); // nothing classic to see

            extract::FrmEx *e = p.switchToExtract();
            QVERIFY(e);
            std::string given = "sesam";
            e->askPassword = [e, &given] {
                QVERIFY(e->wantsTypedPassword());
                e->Text1->setText(QS(given));
            };
            p.t.dialogs.openAnswers = {QS(carrier)};
            e->Command1->click();
            if (program == kalmira::Program::B) {
                e->Command2->click(); // a wrong password: the format's one answer
                QVERIFY(p.t.messages.last().find("oder das Passwort ist falsch") != std::string::npos);
                given = "Sesam";
                const std::string dest = p.dir.file("zurück.bin");
                p.t.dialogs.saveAnswers = {QS(dest)};
                e->Command2->click();
                QCOMPARE(test::ReadAll(dest), plain);
                QCOMPARE(p.t.dialogs.saveRequests.back().fileName, QString("Akte.bin"));
            } else {
                given = "Sesam";
                e->Command2->click();
                auto *m = qobject_cast<extract::FrmExMessage *>(e);
                QCOMPARE(m->Text3->toPlainText().replace("\r\n", "\n"), QString(message).replace("\r\n", "\n"));
                QVERIFY(m->Command6->isEnabled());
            }
            QVERIFY(e->Text1->text().isEmpty());
        }
    }
};

QTEST_MAIN(ProgramsTest)
#include "programs_test.moc"
