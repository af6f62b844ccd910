// Both main windows of each program in one run: hide through frmV, switch
// with its button, extract through frmEx.
#include "carriers.h"
#include "crypto/register.h"
#include "extract/extract_texts.h"
#include "extract/frmEx_file.h"
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
const QString kMessage = "Grüße aus Köln,\r\nwir treffen uns um 12 Uhr.\r\nÄÖÜ ß €";

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
    // Chooses in frmV what to hide (a file in KalmiraB, a message in KalmiraA) and the carrier.
    // The stealth format takes at most half a bit per pixel: a larger picture.
    void choose(bool wav, bool stealth = false) {
        carrier = dir.file(wav ? "träger.wav" : "träger.bmp");
        test::WriteAll(carrier, wav ? test::MakeWav(400000) : test::MakeBmp(800, stealth ? 800 : 600));
        chooseCarrier();
    }
    void chooseCarrier() {
        t.dialogs.openAnswers = {QS(carrier)};
        if (t.services.program == kalmira::Program::B) {
            test::WriteAll(dir.file("Akte.bin"), plain);
            t.dialogs.openAnswers.push_front(QS(dir.file("Akte.bin")));
            v->Command3->click(); // the file to hide, compressed at once
        } else {
            qobject_cast<hide::FrmVMessage *>(v)->Text2->setPlainText(kMessage);
        }
        v->Befehl2->click();
    }
    // Opens the carrier in frmEx and extracts what frmV hid.
    void extractAndCompare(extract::FrmEx *e) {
        t.dialogs.openAnswers = {QS(carrier)};
        e->Command1->click();
        if (t.services.program == kalmira::Program::B) {
            const std::string dest = dir.file("zurück.bin");
            t.dialogs.saveAnswers = {QS(dest)};
            e->Command2->click();
            QCOMPARE(test::ReadAll(dest), plain);
            QCOMPARE(t.dialogs.saveRequests.back().fileName, QString("Akte.bin"));
        } else {
            e->Command2->click();
            auto *m = qobject_cast<extract::FrmExMessage *>(e);
            QCOMPARE(m->Text3->toPlainText().replace("\r\n", "\n"), QString(kMessage).replace("\r\n", "\n"));
            QVERIFY(m->Command6->isEnabled());
        }
    }

    test::TestServices t;
    test::TempDir dir, tmp;
    hide::FrmV *v = nullptr;
    std::string carrier;
    const std::vector<std::uint8_t> plain = test::RandomBytes(20000, 3);
};

} // namespace

class ProgramsTest : public QObject {
    Q_OBJECT
private slots:
    void bothProgramsHideAndExtractThroughTheirWindows() {
        for (kalmira::Program program : {kalmira::Program::B, kalmira::Program::A}) {
            // One run per mode: none, AES, RC4 (both carrier kinds), stealth.
            for (auto [mode, wav] : {std::pair{-1, false}, {0, true}, {1, false}, {2, false}}) {
                const bool stealth = mode == 2;
                Run p(program);
                QVERIFY(!p.v->checkTarn->isChecked() && p.v->Check1->isEnabled());
                p.choose(wav, stealth);
                const auto original = test::ReadAll(p.carrier);
                if (stealth) {
                    // The stealth engine takes the password as typed, and KalmiraB's
                    // file, compressed for the classic format, as it is.
                    p.v->askPassword = [] { return std::optional<QString>("Sesam"); };
                    // More than recommended for a test carrier: hidden all the same.
                    p.t.messages.answers = {kalmira::Answer::Yes};
                    p.v->checkTarn->click();
                    QVERIFY(!p.v->Check1->isEnabled() && !p.v->optCrypt[0]->isEnabled());
                } else {
                    p.v->Check1->setChecked(mode >= 0);
                    if (mode >= 0) p.v->optCrypt[mode]->setChecked(true);
                }
                QVERIFY(p.v->Befehl1->isEnabled());
                p.v->Befehl1->click();
                QVERIFY(test::ReadAll(p.carrier) != original);

                extract::FrmEx *e = p.switchToExtract();
                QVERIFY(e && e->isVisible() && !p.v->isVisible());
                std::string given = "sesam";
                if (stealth) {
                    // The data as the window showed them, without the stored name.
                    const std::string said = p.t.messages.last();
                    QVERIFY2(said.find(program == kalmira::Program::B
                                           ? "Die Daten (20.000 Byte) sind im Tarnformat verschlüsselt"
                                           : "sind im Tarnformat verschlüsselt") != std::string::npos,
                             said.c_str());
                    // Nothing classic to see: the extract window falls back to the format.
                    QVERIFY(!test::HeaderOf(test::ReadAll(p.carrier)).mode.has_value());
                    e->askPassword = [e, &given] {
                        QVERIFY(e->wantsTypedPassword());
                        QCOMPARE(e->passwordQuestion(), QString::fromUtf8(extract::kStealthPasswordQuestion));
                        e->Text1->setText(QS(given));
                    };
                    if (program == kalmira::Program::B) {
                        p.t.dialogs.openAnswers = {QS(p.carrier)};
                        e->Command1->click();
                        e->Command2->click(); // a wrong password: the format's one answer
                        QVERIFY(p.t.messages.last().find("oder das Passwort ist falsch") != std::string::npos);
                    }
                    given = "Sesam";
                }
                p.extractAndCompare(e);
                QVERIFY(e->Text1->text().isEmpty());
                if (stealth && program == kalmira::Program::B)
                    QCOMPARE(static_cast<extract::FrmExFile *>(e)->Label6->text(),
                             QString::fromUtf8(extract::kStealthCipherLine));
                QVERIFY(p.t.exits.empty());
            }
        }
    }

    // PNG and FLAC (made by ImageMagick and flac) through both windows of both
    // programs, in the stealth format; the results stay valid files.
    void pngAndFlacThroughTheWindows() {
        for (kalmira::Program program : {kalmira::Program::B, kalmira::Program::A}) {
            for (const char *name : {"träger.png", "träger.flac"}) {
                Run p(program);
                p.carrier = p.dir.file(name);
                const bool png = std::string(name).ends_with(".png");
                const std::string wav = p.dir.file("roh.wav");
                test::WriteAll(wav, test::MakeWav(1600000));
                const std::string make =
                    png ? "convert -size 800x600 -seed 6 plasma:fractal -depth 8 '" + p.carrier + "'"
                        : "flac -s -o '" + p.carrier + "' '" + wav + "'";
                QCOMPARE(std::system((make + " 2>/dev/null").c_str()), 0);
                p.v->askPassword = [] { return std::optional<QString>("Sesam"); };
                p.t.messages.answers = {kalmira::Answer::Yes}; // above the recommended payload, if asked
                p.v->checkTarn->click();
                p.chooseCarrier();
                QVERIFY2(p.v->Befehl1->isEnabled(), p.t.messages.last().c_str());
                p.v->Befehl1->click();
                const std::string check =
                    png ? "pngcheck -q '" + p.carrier + "' >/dev/null" : "flac -t -s '" + p.carrier + "'";
                QCOMPARE(std::system(check.c_str()), 0);
                extract::FrmEx *e = p.switchToExtract();
                QVERIFY(e);
                e->askPassword = [e] { e->Text1->setText("Sesam"); };
                p.extractAndCompare(e);
            }
        }
    }
};

QTEST_MAIN(ProgramsTest)
#include "programs_test.moc"
