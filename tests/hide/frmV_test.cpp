#include "hide/frmV_file.h"
#include "hide/frmV_message.h"
#include "hide/register.h"

#include "fakes_ui.h"
#include "platform/platform.h"
#include "carriers.h"
#include "run_fakes.h"
#include "shell/qt_services.h"
#include "shell/helpers.h"

#include <QDir>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace kalmira;

namespace {

QString QS(const std::string &s) { return QString::fromStdString(s); }

// A window with fake services, instant pauses and scripted passwords.
template <class W> struct Hide {
    Hide() : t(std::is_same_v<W, hide::FrmVMessage> ? Program::A : Program::B), w(t.services) {
        w.pauseFor = [this](double s) { pauses.push_back(s); };
        w.askPassword = [this]() -> std::optional<QString> {
            ++asked;
            if (passwords.empty()) return std::nullopt;
            QString p = passwords.front();
            passwords.pop_front();
            return p;
        };
    }
    template <class Bytes> QString make(const std::string &name, const Bytes &bytes) {
        test::WriteAll(dir.file(name), bytes);
        return QS(dir.file(name));
    }
    void open(const QString &path) { t.dialogs.openAnswers.push_back(path); }

    test::TestServices t;
    test::TempDir dir;
    W w;
    std::vector<double> pauses;
    std::deque<QString> passwords;
    int asked = 0;
};
using HideB = Hide<hide::FrmVFile>;
using HideA = Hide<hide::FrmVMessage>;
template <class H> std::string Said(const H &h) { return h.t.messages.shown.back().title + ": " + h.t.messages.last(); }

void Drop(QWidget *target, const QString &path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    // Qt delivers a drop only where the drag's entry was accepted.
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void MoveTo(QWidget *window, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, window->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &move);
}

void Enter(QWidget *w) {
    QEvent e(QEvent::Enter);
    QApplication::sendEvent(w, &e);
}

// Key presses with the text they carry (QTest::keyClicks takes ASCII only).
void Type(QWidget *w, const QString &text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

std::vector<std::uint8_t> TextBytes(std::size_t n) {
    std::string s;
    while (s.size() < n) s += "Der Bericht wird morgen verschickt. ";
    s.resize(n);
    return {s.begin(), s.end()};
}

// A padded password as the dialog hands it over (each character one ANSI byte).
QString PaddedQ(const std::string &ansi) { return QS(platform::Utf8FromAnsi(test::Padded(ansi))); }

} // namespace

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
        QVERIFY(w.Befehl1->isEnabled() && w.Command6->isEnabled() && w.Command9->isEnabled() && !w.Command5->isEnabled());
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
        QVERIFY(w.Befehl1->isEnabled() && w.Command5->isEnabled() && w.Command9->isEnabled() && !w.Command6->isEnabled());
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
        QVERIFY(w.Text3->text().isEmpty() && w.Befehl1->isEnabled() && w.Befehl2->isEnabled() && w.Command3->isEnabled());
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
        QVERIFY(w.Befehl2->isEnabled() && !w.Befehl1->isEnabled() && !w.Command10->isEnabled() && w.lblSize->text().isEmpty());
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
        QVERIFY(w.Befehl1->isEnabled() && w.Command5->isEnabled() && w.Command10->isEnabled() && !w.Command6->isEnabled() &&
                !w.Command9->isEnabled());

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
        QCOMPARE(h.t.messages.last(), std::string("Die Datei ist 201 Byte gross. Die zu versteckende Datei darf "
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
            QVERIFY2(w->width() <= 1366 && w->height() <= 688, qPrintable(QString("%1x%2").arg(w->width()).arg(w->height())));
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
        h.open(h.make("echt.bmp", test::MakeBmp(256, 170)));
        h.w.Befehl2->click();
        QVERIFY(h.w.Befehl1->isEnabled());
        QVERIFY(h.w.Label3->text().contains("im Tarnformat frei"));
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
                              "' 2>/dev/null").c_str()),
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
        QVERIFY(h.w.Label3->text().contains("im Tarnformat frei"));
        QVERIFY(h.w.Command6->isEnabled() && !h.w.Command5->isEnabled());
    }
};

QTEST_MAIN(FrmVTest)
#include "frmV_test.moc"
