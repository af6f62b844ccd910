#include "frmV_fixture.h"
#include "hide/register.h"

#include <QDir>
#include <QLayout>
#include <QTemporaryDir>

using namespace kalmira;
using namespace kalmira::test;

class FrmVTest : public QObject {
    Q_OBJECT
private slots:
    void startStateHelpLineAndClosing() {
        HideB h;
        auto &w = h.w;
        QCOMPARE(w.windowTitle(), QString("KalmiraB - Verstecken"));
        for (QPushButton *b : {w.Befehl1, w.Befehl2, w.Command5, w.Command6, w.Command9})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(w.Command4->isEnabled() && w.Command10->isEnabled());
        QVERIFY(w.Check1->isChecked() && w.optCrypt[0]->isChecked() && !w.checkKopie->isChecked());

        w.Check1->click();
        QVERIFY(w.optCrypt[0]->isHidden() && w.optCrypt[1]->isHidden() && w.Label7->isHidden());

        // The help line follows the mouse and is empty over bare margin.
        Enter(w.Befehl1);
        QVERIFY(!w.Label2->text().isEmpty());
        MoveTo(&w, QPoint(4, w.height() / 2));
        QCOMPARE(w.Label2->text(), QString());

        // No extract window in this program: the switch does nothing.
        w.show();
        w.Command2->click();
        QVERIFY(w.isVisible());
        QWidget *ex = nullptr;
        h.t.registry.registerFactory("frmEx", [&] { return ex = new QWidget; });
        w.move(40, 30);
        w.Command2->click();
        QVERIFY(ex && ex->isVisible() && !w.isVisible());
        QCOMPARE(ex->pos(), w.pos());

        h.t.registry.registerFactory("frmStart", [] { return new QWidget; });
        h.t.registry.window("frmStart");
        w.close();
        QCOMPARE(h.t.exits, std::vector<int>{0});
        QVERIFY(!h.t.registry.existing("frmStart") && !h.t.registry.existing("frmEx"));

        // Registered under its name, in the variant of the running program.
        test::TestServices a(Program::A);
        hide::RegisterWindows(a.services);
        QVERIFY(qobject_cast<hide::FrmVMessage *>(a.registry.get<hide::FrmV>("frmV")));
        a.registry.unloadAll();
    }

    void hideButtonWaitsForFileAndLargeEnoughCarrier() {
        HideB h;
        auto &w = h.w;
        const QString big = h.make("BILD.BMP", test::MakeBmp(200, 100));
        Drop(w.Text1, big);
        QCOMPARE(Said(h), "KalmiraB: Bitte erst die zu versteckende Datei auswählen.");
        QVERIFY(w.Text1->text().isEmpty());

        const QString doc = h.make("Bericht.txt", TextBytes(20000));
        h.open(doc);
        w.Command3->click();
        const auto n = static_cast<std::int64_t>(w.data().size());
        QVERIFY(n > 0 && n < 20000);
        QCOMPARE(w.Text5->text(), doc);
        QVERIFY(w.Label4->text().contains("20.000 Bytes"));
        QCOMPARE(w.nameField(), std::string("Bericht.txt              "));
        QVERIFY(w.Befehl2->isEnabled() && !w.Befehl1->isEnabled());

        // Upper-case extension, dropped: accepted, with thumbnail.
        Drop(w.Text1, big);
        QCOMPARE(w.Text1->text(), big);
        QCOMPARE(w.lblKopie->text(), QS(h.dir.file("BILD-Kopie.BMP")));
        QVERIFY(w.Label3->text().endsWith(": 60.054 Byte"));
        QVERIFY(w.Befehl1->isEnabled() && w.Command6->isEnabled() && w.Command9->isEnabled() &&
                !w.Command5->isEnabled());
        QVERIFY(!w.Anzeige1->isHidden() && w.Image1->isHidden() && Flags().carrierUsable);

        // A new file is checked against the carrier still shown.
        const QString noise = h.make("Rauschen.bin", test::RandomBytes(9000));
        h.open(noise);
        w.Command3->click();
        QVERIFY(w.Befehl2->isEnabled() && !w.Befehl1->isEnabled());
        h.open(doc);
        w.Command3->click();
        QVERIFY(w.Befehl1->isEnabled());
        h.open("");
        w.Command3->click();
        QVERIFY(!w.Befehl1->isEnabled() && !w.Befehl2->isEnabled() && w.data().empty());

        // A carrier refused as too small is checked again when a smaller file is chosen.
        h.open(noise);
        w.Command3->click();
        h.open(big);
        w.Befehl2->click();
        QVERIFY(Said(h).find("ist zu klein") != std::string::npos && !w.Befehl1->isEnabled());
        h.open(doc);
        w.Command3->click();
        QVERIFY(w.Befehl1->isEnabled() && !w.Anzeige1->isHidden());

        // A BMP whose headers reach past the payload start (GIMP's and ImageMagick's
        // 138 bytes) is refused when chosen, with what to do.
        std::vector<std::uint8_t> longHeader = test::MakeBmp(200, 100);
        longHeader[14] = 124;
        h.open(h.make("gimp.bmp", longHeader));
        w.Befehl2->click();
        QVERIFY(Said(h).starts_with("KalmiraB-Nachricht: Die Containerdatei \"gimp.bmp\" kann nicht verwendet"));
        QVERIFY(h.t.messages.last().find("BildConverter") != std::string::npos);
        QVERIFY(!w.Befehl1->isEnabled() && w.Anzeige1->isHidden() && !w.Image1->isHidden());

        // A picture of another kind under a BMP name is no carrier.
        h.open(doc);
        w.Command3->click();
        const QString png = h.make("foto.bmp", std::string("\x89PNG\r\n\x1a\n") + std::string(70000, 'x'));
        h.open(png);
        w.Befehl2->click();
        QVERIFY(h.t.messages.last().find("keine gültige BMP-Datei") != std::string::npos);
        QVERIFY(!w.Befehl1->isEnabled() && !w.Command6->isEnabled() && w.Anzeige1->isHidden() && !w.Image1->isHidden());

        const QString wav = h.make("ton.wav", test::MakeWav(80000));
        h.open(wav);
        w.Befehl2->click();
        QVERIFY(w.Befehl1->isEnabled() && w.Command5->isEnabled() && w.Command9->isEnabled() &&
                !w.Command6->isEnabled());
    }

    // Round trips of every mode run through both windows in programs_test;
    // here what a run leaves in the window.
    void hideRunKeepsItsDataAndACancelLeavesTheCarrier() {
        HideB h;
        auto &w = h.w;
        Drop(w.Text5, h.make("Protokoll vom Montag.txt", TextBytes(30000)));
        const std::vector<std::uint8_t> compressed = w.data();
        const QString carrier = h.make("a.bmp", test::MakeBmp(300, 200));
        h.open(carrier);
        w.Befehl2->click();
        w.optCrypt[1]->click();
        h.passwords = {PaddedQ("Geheim!")};
        w.Befehl1->click();
        QVERIFY(w.Text3->text().isEmpty() && w.Befehl1->isEnabled() && w.Befehl2->isEnabled() &&
                w.Command3->isEnabled());
        QCOMPARE(h.pauses, (std::vector<double>{1, 4}));
        QCOMPARE(w.data(), compressed); // RC4 is undone for the next run

        // A cancelled password leaves the carrier as it was.
        const auto before = test::ReadAll(S(carrier));
        h.pauses.clear();
        w.Befehl1->click();
        QCOMPARE(test::ReadAll(S(carrier)), before);
        QVERIFY(h.pauses.empty() && w.Befehl1->isEnabled() && h.asked == 2);
    }

    void typedMessageWithUmlauts() {
        QTemporaryDir temp;
        struct TmpDirScope {
            QByteArray old = qgetenv("TMPDIR");
            explicit TmpDirScope(const QString &dir) { qputenv("TMPDIR", dir.toLocal8Bit()); }
            ~TmpDirScope() { old.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", old); }
        } tmpDir(temp.path());
        HideA h;
        auto &w = h.w;
        QCOMPARE(w.windowTitle(), QString("KalmiraA - Verstecken"));
        QVERIFY(w.Befehl2->isEnabled() && !w.Befehl1->isEnabled() && !w.Command10->isEnabled() &&
                w.lblSize->text().isEmpty());
        QCOMPARE(w.Text2->toPlainText(), QS(hide::FrmVMessage::HintText()).remove('\r'));

        Enter(w.Text2->viewport());
        QVERIFY(w.Text2->toPlainText().isEmpty() && w.Text4->toPlainText().isEmpty());
        QCOMPARE(w.lblSize->text(), QString("Botschaft: 0 Byte"));
        QVERIFY(w.Label2->text().startsWith("Text direkt eingeben"));
        Type(w.Text2, "Grüße aus Köln");
        QTest::keyClick(w.Text2, Qt::Key_Return);
        Type(w.Text2, "Öl & Maß");
        const std::string expected = platform::AnsiFromUtf8("Grüße aus Köln\r\nÖl & Maß");
        QCOMPARE(w.messageAnsi(), expected);
        QCOMPARE(w.Text4->toPlainText(), w.Text2->toPlainText());
        QCOMPARE(w.lblSize->text(), QString("Botschaft: 24 Byte"));

        const QString carrier = h.make("Lied.WAV", test::MakeWav(200000));
        h.open(carrier);
        w.Befehl2->click();
        QVERIFY(w.Befehl1->isEnabled() && w.Command5->isEnabled() && w.Command10->isEnabled() &&
                !w.Command6->isEnabled() && !w.Command9->isEnabled());

        // Round trips are in programs_test; here the run leaves no temporary files.
        if (!w.Check1->isChecked()) w.Check1->click();
        w.optCrypt[1]->click();
        h.passwords = {PaddedQ(platform::AnsiFromUtf8("Köln"))};
        h.pauses.clear();
        w.Befehl1->click();
        QCOMPARE(h.pauses, std::vector<double>{3});
        QVERIFY(w.Befehl1->isEnabled() && w.lblSize->text().contains("ContainerMinSize"));
        QVERIFY(test::HeaderOf(test::ReadAll(S(carrier))).mode == payload::Mode::Rc4);
        const QStringList left = QDir(temp.path()).entryList({"Tex*", "Mes*"}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));

        // An empty box is refused by the run; the carrier stays as it was.
        w.Text2->clear();
        const auto before = test::ReadAll(S(carrier));
        h.pauses.clear();
        w.Befehl1->click();
        QVERIFY(h.t.messages.last().rfind("Das Textfeld enthält keine zu versteckende Botschaft.", 0) == 0);
        QVERIFY(h.pauses.empty() && w.Befehl1->isEnabled());
        QCOMPARE(test::ReadAll(S(carrier)), before);
    }

    void textFilesUpToTheMessageLimit() {
        HideA h;
        auto &w = h.w;
        h.t.services.maxMessageSize = 200;
        std::string text = "Erste Zeile\r\n";
        text += std::string(200 - text.size(), 'x');
        const QString exact = h.make("notiz.txt", text);
        h.open(exact);
        w.Command3->click();
        QCOMPARE(w.Text5->text(), exact);
        QCOMPARE(w.messageAnsi(), text);
        QCOMPARE(w.nameField(), std::string("notiz.txt                "));
        QCOMPARE(w.lblSize->text(), QString("Botschaft: 200 Byte"));

        Drop(w.Text4->viewport(), h.make("gross.txt", text + "y"));
        QCOMPARE(h.t.messages.last(),
                 std::string("Die Datei ist 201 Byte gross. Die zu versteckende Datei darf "
                             "für KalmiraA nicht grösser 200 Byte sein. Bitte KalmiraB verwenden."));
        QVERIFY(w.Text2->toPlainText().isEmpty() && w.Text5->text().isEmpty() && w.nameField().empty());
        // A file is hidden byte for byte: line feeds alone count once, and the
        // limit counts the bytes hidden (UTF-8 read as such, hidden as Windows-1252).
        const std::string unix = "a\n" + std::string(198, 'b');
        Drop(w.Text2->viewport(), h.make("unix.txt", unix));
        QVERIFY(w.messageAnsi() == unix && w.lblSize->text() == "Botschaft: 200 Byte");
        const std::string utf8 = "Grüße\r\nÖl " + std::string(188, 'c'); // 203 bytes, 199 hidden
        Drop(w.Text2->viewport(), h.make("utf8.txt", utf8));
        QCOMPARE(w.Text2->toPlainText(), QS(utf8).replace("\r\n", "\n"));
        QCOMPARE(w.messageAnsi(), platform::AnsiFromUtf8(utf8));
        Drop(w.Text2->viewport(), h.make("ansi.txt", std::string("Gr\xfc\xdf\x65")));
        QCOMPARE(w.Text2->toPlainText(), QString("Grüße"));
        QTest::keyClick(w.Text2, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(w.Text2, Qt::Key_Return);
        Type(w.Text2, "x");
        QCOMPARE(w.messageAnsi(), std::string("Gr\xfc\xdf\x65\r\nx")); // edited: CR LF

        h.open(h.make("binaer.txt", std::string("Text\x1a mehr")));
        w.Command3->click();
        QVERIFY(Said(h).starts_with("KalmiraA: Die ausgewählte Datei ist keine ASCII Textdatei!"));
        QVERIFY(w.Text2->toPlainText().isEmpty() && w.Text5->text().isEmpty());

        // Typed or pasted text is cut at the limit.
        w.Text2->setPlainText(QString(250, 'z'));
        QVERIFY(w.messageAnsi().size() == 200 && w.Text4->toPlainText().size() == 200);
    }

    void mainWindowsFitOnA1366x768Screen() {
        // Window manager frame and a panel take about 80 of the 768 pixels.
        HideA a;
        HideB b;
        for (QWidget *w : {static_cast<QWidget *>(&a.w), static_cast<QWidget *>(&b.w)}) {
            QVERIFY2(w->width() <= 1366 && w->height() <= 688,
                     qPrintable(QString("%1x%2").arg(w->width()).arg(w->height())));
            QVERIFY(w->layout()->totalMinimumSize().height() <= w->height());
        }
    }

    void check2SwitchesBetweenTheBoxes() {
        HideA h;
        auto &w = h.w;
        w.Check2->click();
        QVERIFY(w.Text2->isHidden() && !w.Text4->isHidden() && w.Check2->isChecked());
        w.Text4->setPlainText("umbrochen");
        QVERIFY(w.Text2->toPlainText() == "umbrochen" && w.messageAnsi() == "umbrochen");
        w.Check2->click();
        QVERIFY(!w.Text2->isHidden() && w.Text4->isHidden() && w.Text2->lineWrapMode() == QPlainTextEdit::NoWrap);

        // A BMP carrier with an upper-case name; KalmiraA keeps its own flag.
        Flags().carrierUsable = false;
        h.open(h.make("FOTO.BMP", test::MakeBmp(64, 48)));
        w.Befehl2->click();
        QVERIFY(w.thumbnailUsable() && !Flags().carrierUsable && w.Befehl1->isEnabled() && w.Command6->isEnabled());
        QVERIFY(!w.Command5->isEnabled() && !w.Command10->isEnabled() && !w.Anzeige1->isHidden());
        w.checkBmpShow->click();
        QVERIFY(w.Anzeige1->isHidden() && !w.Image1->isHidden());
    }
};

QTEST_MAIN(FrmVTest)
#include "frmV_test.moc"
