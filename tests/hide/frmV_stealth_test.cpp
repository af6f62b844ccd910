// The hide windows with the Tarnformat ticked, the classic stored name and
// the remembered folders.
#include "frmV_fixture.h"

#include "shell/window_parts.h"
#include "stealth/stealth_texts.h"

#include <QLayout>

using namespace kalmira;
using namespace kalmira::test;

class FrmVStealthTest : public QObject {
    Q_OBJECT
private slots:
    // Ticked, the carrier check follows the stealth format: a palette picture
    // is refused with its reason, a 24-bit one shows the stealth capacity.
    void stealthOptionChecksTheCarrierForItsFormat() {
        HideA h;
        auto palette = test::MakeBmp(120, 80);
        palette[28] = 8;
        h.w.checkTarn->click();
        h.open(h.make("palette.bmp", palette));
        h.w.Befehl2->click();
        QVERIFY2(Said(h).find("Farbpalette") != std::string::npos, Said(h).c_str());
        QVERIFY(!h.w.Befehl1->isEnabled());
        h.open(h.make("klein.bmp", test::MakeBmp(120, 80))); // too small for the format's own blocks
        h.w.Befehl2->click();
        QVERIFY2(Said(h).find("zu klein") != std::string::npos, Said(h).c_str());
        h.open(h.make("echt.bmp", test::MakeBmp(400, 300)));
        h.w.Befehl2->click();
        QVERIFY(h.w.Befehl1->isEnabled());
        QVERIFY2(h.w.Label3->text().contains("; Tarnformat empfohlen: bis "), qPrintable(h.w.Label3->text()));
        h.w.checkTarn->click(); // off again: the classic options are back
        QVERIFY(h.w.Check1->isEnabled() && h.w.checkKopie->isEnabled());
        QVERIFY(!h.w.Label3->text().contains("Tarnformat"));
    }

    // PNG and FLAC: offered and taken with the Tarnformat ticked, refused
    // without it with the reason; a PNG gets the picture buttons.
    void pngAndFlacOnlyWithTheStealthFormat() {
        HideA h;
        const QString png = QS(h.dir.file("bild.png"));
        QCOMPARE(std::system(("convert -size 256x180 -seed 3 plasma:fractal -depth 8 '" + h.dir.file("bild.png") +
                              "' 2>/dev/null")
                                 .c_str()),
                 0);
        h.open(png);
        h.w.Befehl2->click();
        QVERIFY2(Said(h).find("nur im Tarnformat") != std::string::npos, Said(h).c_str());
        QVERIFY(!h.w.Befehl1->isEnabled());
        QVERIFY(!h.t.dialogs.openRequests.back().filter.contains("*.png"));
        h.w.checkTarn->click();
        h.open(png);
        h.w.Befehl2->click();
        QVERIFY(h.t.dialogs.openRequests.back().filter.contains("*.png;*.flac"));
        QVERIFY(h.w.Label3->text().contains("Tarnformat"));
        QVERIFY(h.w.Command6->isEnabled() && !h.w.Command5->isEnabled());
    }

    // Ticked, the window shows what the format takes beside the carrier size
    // on one line, and asks before hiding more than is recommended.
    void stealthShowsTheRecommendedPayloadAndAsksAboveIt() {
        HideB h;
        auto &w = h.w;
        stealth::CapacityResult cap;
        cap.outcome = stealth::CapacityResult::Outcome::Ok;
        cap.largestPayload = 5000;
        cap.recommendedPayload = 50;
        w.capacityOf = [&](const std::string &) { return cap; };
        w.checkTarn->click();
        Drop(w.Text5, h.make("notiz.bin", test::RandomBytes(60))); // 60 + 9 for the name
        const QString carrier = h.make("bild.bmp", test::MakeBmp(200, 100));
        h.open(carrier);
        w.Befehl2->click();
        QCOMPARE(w.Label3->text(), QString("60.054 Byte; Tarnformat empfohlen: bis 50 Byte"));
        QVERIFY(w.Label3->toolTip().contains("höchstens 5.000 Byte"));
        QVERIFY(w.Befehl1->isEnabled());

        // "Nein" returns to the window before the password: nothing is written.
        const auto before = test::ReadAll(S(carrier));
        h.t.messages.answers = {Answer::No};
        w.Befehl1->click();
        const test::ShownMessage &q = h.t.messages.shown.back();
        QVERIFY(q.buttons == Buttons::YesNoDefaultNo && q.icon == Icon::Question);
        QVERIFY2(q.text.find("(69 Byte) sind mehr, als für \"bild.bmp\" empfohlen ist (50 Byte)") != std::string::npos,
                 q.text.c_str());
        QVERIFY(h.asked == 0 && w.Befehl1->isEnabled() && w.Befehl2->isEnabled() && w.Command3->isEnabled());
        QCOMPARE(test::ReadAll(S(carrier)), before);
        // "Ja" goes on to the password.
        h.t.messages.answers = {Answer::Yes};
        w.Befehl1->click();
        QCOMPARE(h.asked, 1);
        // Within the recommendation nobody asks.
        cap.recommendedPayload = 69;
        h.open(carrier);
        w.Befehl2->click();
        const auto shown = h.t.messages.shown.size();
        w.Befehl1->click();
        QVERIFY(h.asked == 2 && h.t.messages.shown.size() == shown);

        // Without a recommendation the line says the largest payload.
        cap.recommendedPayload = 0;
        h.open(carrier);
        w.Befehl2->click();
        QCOMPARE(w.Label3->text(), QString("60.054 Byte; Tarnformat: höchstens 5.000 Byte"));
    }

    void stealthLineFitsAndNothingIsCut() {
        HideA a;
        HideB b;
        for (hide::FrmV *w : {static_cast<hide::FrmV *>(&a.w), static_cast<hide::FrmV *>(&b.w)}) {
            w->show();
            w->checkTarn->click();
            // A 100 MB sound: the longest numbers the line meets in practice.
            stealth::CapacityResult cap;
            cap.outcome = stealth::CapacityResult::Outcome::Ok;
            cap.largestPayload = 6'502'964;
            cap.recommendedPayload = 1'300'592;
            for (const QString &line : {QS(stealth::CapacityLine(104'857'644, cap)),
                                        QString("Dateigrösse der ausgewählten Containerdatei: 104.857.644 Byte")}) {
                w->Label3->setText(line);
                QApplication::processEvents();
                const int advance = w->Label3->fontMetrics().horizontalAdvance(line);
                QVERIFY2(advance <= w->Label3->width(),
                         qPrintable(QString("%1 > %2").arg(advance).arg(w->Label3->width())));
            }
            QVERIFY(w->layout()->totalMinimumSize().height() <= w->height());
            // The picture frame ends above the row of tool buttons.
            QWidget *frame = w->findChild<QWidget *>("Shape1");
            QVERIFY(frame->mapTo(w, QPoint(0, frame->height())).y() <= w->Command6->mapTo(w, QPoint(0, 0)).y());
            w->hide();
        }
    }

    void jpegOriginIsNotedOncePerChosenCarrier() {
        HideA h;
        auto &w = h.w;
        stealth::CapacityResult cap;
        cap.outcome = stealth::CapacityResult::Outcome::Ok;
        cap.largestPayload = 5000;
        cap.jpegOrigin = true;
        w.capacityOf = [&](const std::string &) { return cap; };
        w.Text2->setPlainText("Hallo");
        w.checkTarn->click();
        const QString carrier = h.make("foto.bmp", test::MakeBmp(120, 80));
        h.open(carrier);
        w.Befehl2->click();
        auto notes = [&] {
            return std::count_if(h.t.messages.shown.begin(), h.t.messages.shown.end(),
                                 [](const test::ShownMessage &m) { return m.text.find("JPEG") != std::string::npos; });
        };
        QCOMPARE(notes(), 1);
        QVERIFY(h.t.messages.last().find("\"verkleinern\"") != std::string::npos);
        QVERIFY(w.Befehl1->isEnabled()); // a note, not a refusal
        w.checkTarn->click();
        w.checkTarn->click(); // checked again for the format: no second note
        QCOMPARE(notes(), 1);
        h.open(carrier);
        w.Befehl2->click();
        QCOMPARE(notes(), 2);
    }

    // The classic format keeps 25 Windows-1252 characters of the name: the
    // user learns under which name the file went in.
    void classicHideSaysWhenTheStoredNameDiffers() {
        HideB h;
        auto &w = h.w;
        const QString carrier = h.make("c.bmp", test::MakeBmp(300, 200));
        for (const char *name : {"日本語.txt", "Übersicht.txt"}) {
            Drop(w.Text5, h.make(name, TextBytes(3000)));
            h.open(carrier);
            w.Befehl2->click();
            w.Check1->setChecked(false);
            const auto shown = h.t.messages.shown.size();
            w.Befehl1->click();
            QVERIFY(test::HeaderOf(test::ReadAll(S(carrier))).mode == payload::Mode::Plain);
            if (std::string(name) == "Übersicht.txt") {
                QCOMPARE(h.t.messages.shown.size(), shown); // unchanged: nothing to say
                continue;
            }
            QCOMPARE(h.t.messages.shown.size(), shown + 1);
            QVERIFY2(Said(h).starts_with("KalmiraB-Nachricht: Versteckt ist die Datei unter dem Namen \"???.txt\" "
                                         "statt \"日本語.txt\""),
                     Said(h).c_str());
        }

        HideA a;
        const std::string longName = "Protokoll der Sitzung vom Montag.txt";
        a.open(a.make(longName, std::string("Tagesordnung")));
        a.w.Command3->click();
        a.open(a.make("c.wav", test::MakeWav(200000)));
        a.w.Befehl2->click();
        a.w.Check1->setChecked(false);
        a.w.Befehl1->click();
        QVERIFY2(Said(a).find("\"Protokoll der Sitzu~1.txt\" statt \"" + longName + "\"") != std::string::npos,
                 Said(a).c_str());
    }

    void openDialogsStartInTheFolderLastUsedForTheirKind() {
        test::TempDir settings, files, carriers;
        SettingsFolderMemory memory(QS(settings.file("ordner.ini")));
        const QString file = QS(files.file("a.txt")), carrier = QS(carriers.file("c.wav"));
        test::WriteAll(S(file), TextBytes(300));
        test::WriteAll(S(carrier), test::MakeWav(100000));
        {
            HideB h;
            h.t.services.folders = &memory;
            h.open(file);
            h.w.Command3->click();
            h.open(carrier);
            h.w.Befehl2->click();
        }
        // A later run, and the other program: each kind where it was last.
        HideB b;
        b.t.services.folders = &memory;
        b.open(file);
        b.w.Command3->click();
        b.open("");
        b.w.Befehl2->click();
        QCOMPARE(b.t.dialogs.openRequests.at(0).folder, WithSeparator(QS(files.path())));
        QCOMPARE(b.t.dialogs.openRequests.at(1).folder, WithSeparator(QS(carriers.path())));
        HideA a;
        a.t.services.folders = &memory;
        a.open("");
        a.w.Command3->click(); // text files are a kind of their own
        a.open("");
        a.w.Befehl2->click();
        QCOMPARE(a.t.dialogs.openRequests.at(0).folder, QString());
        QCOMPARE(a.t.dialogs.openRequests.at(1).folder, WithSeparator(QS(carriers.path())));
    }

    void floatSoundIsRefusedAsNotIntegerPcm() {
        HideA h;
        auto wav = test::MakeWav(40000);
        wav[20] = 3; // WAVE_FORMAT_IEEE_FLOAT
        wav[34] = 32;
        h.w.Text2->setPlainText("Hallo");
        h.w.checkTarn->click();
        h.open(h.make("gleitkomma.wav", wav));
        h.w.Befehl2->click();
        QVERIFY2(h.t.messages.last().find("kein ganzzahliges PCM") != std::string::npos, h.t.messages.last().c_str());
        QVERIFY(!h.w.Befehl1->isEnabled());
    }
};

QTEST_MAIN(FrmVStealthTest)
#include "frmV_stealth_test.moc"
