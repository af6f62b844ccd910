#include "inspect/Form1.h"
#include "inspect/frmAnzeige.h"
#include "inspect/frmFlacInfo.h"
#include "inspect/frmMain.h"
#include "inspect/register.h"
#include "inspect/sound.h"
#include "shell/qt_services.h"

#include "fakes_ui.h"

#include <QImage>
#include <QImageReader>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::inspect;
using test::MakeBmp;
using test::MakeWav;
using test::TempDir;
using test::WriteAll;

namespace {

struct Env {
    test::TestServices t;
    TempDir dir;
    explicit Env(Program program = Program::B) : t(program) { RegisterWindows(t.services); }
    ~Env() { t.registry.unloadAll(); }
    QString file(const char *name, const std::vector<std::uint8_t> &bytes) {
        WriteAll(dir.file(name), bytes);
        return QString::fromStdString(dir.file(name));
    }
    template <class W>
    W *window(const char *name) {
        return qobject_cast<W *>(t.registry.existing(name));
    }
};

QImage Picture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    return img;
}

std::string Said(const test::TestServices &t) { return t.messages.shown.back().title + ": " + t.messages.last(); }

} // namespace

class InspectWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void wavInfoShowsChunksAndFormat() {
        Env e;
        const QString path = e.file("klang.wav", MakeWav(400));
        ShowWavInfo(e.t.services, path);
        auto *w = e.window<FrmMain>("frmMain");
        QVERIFY(w && w->isVisible() && WavInfoFile() == path && w->lstChunks->count() == 2);
        QCOMPARE(w->lblFileSize->text() + "|" + w->lblChannels->text() + "|" + w->lblSampleRate->text(),
                 QString("436 Byte|Stereo|44100 Hz"));

        // An invalid file keeps the values; a missing one reads nothing.
        auto bad = MakeWav(10);
        bad[0] = 'X';
        const QString badPath = e.file("bad.wav", bad);
        ShowWavInfo(e.t.services, badPath);
        QCOMPARE(Said(e.t), "Kalmira - Info: Die Datei '" + S(badPath) + "' ist keine gültige Wave-Datei.");
        QCOMPARE(w->lblCompression->text() + w->lstChunks->item(1)->text(), "Unkomprimiert (PCM)data");
        ShowWavInfo(e.t.services, e.dir.path().c_str() + QString("/fehlt.wav"));
        QCOMPARE(Said(e.t), "Kalmira-WAV-Info: WAV-Datei nicht vorhanden!");

        // A file without a format chunk shows no values of the earlier one.
        auto noFmt = MakeWav(0);
        noFmt.resize(12);
        ShowWavInfo(e.t.services, e.file("leer.wav", noFmt));
        QCOMPARE(w->lstChunks->count(), 0);
        QCOMPARE(w->lblFileName->text() + "|" + w->lblCompression->text(), QString("leer.wav|"));

        WavInfoFile() = path;
        w->Command3->click();
        QCOMPARE(e.t.desktop.opened, QStringList{path});
    }

    void flacInfoShowsFactsBlocksAndPlays() {
        Env e;
        const QString path = e.file("lied.flac", test::ReadAll(KALMIRA_TEST_DATA "/carrier/meta.flac"));
        ShowCodecInfo(e.t.services, path);
        auto *w = e.window<FrmFlacInfo>("frmFlacInfo");
        QVERIFY(w && w->isVisible() && e.t.messages.shown.empty());
        QCOMPARE(QStringList({w->lblFileName->text(), w->lblCompression->text(), w->lblChannels->text(),
                              w->lblSampleRate->text(), w->lblBitsPerSample->text(), w->lblBlockAlign->text(),
                              w->lblDuration->text(), w->lblBlockSize->text(), w->lblComments->text()}),
                 QStringList({"lied.flac", "FLAC (verlustfrei)", "Stereo", "44100 Hz", "16", "4 Byte",
                              "0,282 s (12.425 Samples je Kanal)", "4096 Samples", "2"}));
        QVERIFY2(w->lblBytesPerSec->text().endsWith(" Byte/s (unkomprimiert 176.400)"),
                 qPrintable(w->lblBytesPerSec->text()));
        QCOMPARE(w->lstBlocks->count(), 7);
        QCOMPARE(w->lstBlocks->item(0)->text() + "|" + w->lstBlocks->item(3)->text(),
                 QString("STREAMINFO (34 Byte)|VORBIS_COMMENT (76 Byte)"));
        w->Command3->click();
        QCOMPARE(e.t.desktop.opened, QStringList{path});
        e.t.desktop.result = 31;
        w->Command3->click();
        QCOMPARE(Said(e.t), "KalmiraB-Nachricht: Für FLAC-Aufnahmen ist kein Abspielprogramm eingerichtet.");

        // Without a stated length or a comment block, the window says so and
        // keeps nothing of the earlier recording.
        auto plain = test::ReadAll(KALMIRA_TEST_DATA "/carrier/mono16.flac");
        plain[8 + 13] &= 0xF0;
        std::fill(plain.begin() + 8 + 14, plain.begin() + 8 + 18, 0);
        QCOMPARE(plain[64], 4); // VORBIS_COMMENT, made an APPLICATION block
        plain[64] = 2;
        ShowCodecInfo(e.t.services, e.file("ohne.flac", plain));
        QCOMPARE(w->lblChannels->text() + "|" + w->lblDuration->text() + "|" + w->lblComments->text(),
                 QString("Mono|unbekannt|keine"));
        QCOMPARE(w->lblBytesPerSec->text(), QString("unbekannt (unkomprimiert 88.200 Byte/s)"));
        QCOMPARE(w->lstBlocks->count(), 4);

        // A damaged recording is refused in a message; the window stays as it was.
        plain.resize(30);
        const QString cut = e.file("kurz.flac", plain);
        ShowCodecInfo(e.t.services, cut);
        QCOMPARE(Said(e.t), "Kalmira: Die Containerdatei \"" + S(cut) +
                                "\" ist beschädigt oder unvollständig (sie endet vorzeitig). Es wurde nichts "
                                "verändert.");
        QCOMPARE(w->lblFileName->text(), QString("ohne.flac"));
        w->Command2->click();
        QVERIFY(!e.t.registry.existing("frmFlacInfo"));
    }

    void imageInfoLinesAndErrorBranch() {
        Env e;
        const QString path = e.file("bild.bmp", MakeBmp(100, 50));
        ShowImageInfo(e.t.services, path);
        auto *w = e.window<Form1>("Form1");
        QVERIFY(w && w->isVisible() && w->lblFileName->text() == path);

        ShowImageInfo(e.t.services, path + ".weg");
        QCOMPARE(Said(e.t), "Image Info: Fehler");
        QCOMPARE(w->lblFileName->text(), QString("Error: Keine Datei ausgewählt! Oder Datei nicht vorhanden!"));

        auto deep = MakeBmp(2, 2);
        deep[28] = 0x00;
        deep[29] = 0x04; // 1024 bits per pixel
        ShowImageInfo(e.t.services, e.file("tief.bmp", deep));
        QVERIFY(e.t.messages.last() == "ÜberlaufFehler" && e.t.messages.shown.size() == 2);
        // A long path does not widen the window past a 1366-pixel screen.
        const QString longPath = e.file((std::string(200, 'n') + ".bmp").c_str(), MakeBmp(2, 2));
        ShowImageInfo(e.t.services, longPath);
        QVERIFY(w->lblFileName->text() == longPath && w->minimumSizeHint().width() < 1366);
    }

    void viewerLayout() {
        Env e;
        FrmAnzeige v(e.t.services);
        v.resize(400, 300);
        v.setPicture(Picture(100, 60));
        v.show();
        QVERIFY(!v.HScroll1->isVisible() && !v.VScroll1->isVisible());

        // Wider only: the horizontal bar, scrolled to the end shows the right edge.
        v.setPicture(Picture(1000, 100));
        QVERIFY(v.HScroll1->isVisible() && !v.VScroll1->isVisible());
        const int bar = v.HScroll1->height();
        QCOMPARE(v.HScroll1->maximum(), 600);
        v.HScroll1->setValue(v.HScroll1->maximum());
        QCOMPARE(v.PBox_Fore->geometry().right(), v.PBox_Back->width() - 1);
        v.setPicture(Picture(1000, 1000)); // both bars leave each other room
        QCOMPARE(v.VScroll1->isVisible() ? v.VScroll1->maximum() : -1, 1000 - (300 - bar));

        // Enlarging until it fits: bars gone, nothing left scrolled away.
        v.setPicture(Picture(1000, 100));
        v.HScroll1->setValue(300);
        v.resize(1200, 150);
        QVERIFY(!v.HScroll1->isVisible() && !v.VScroll1->isVisible());
        QCOMPARE(v.PBox_Fore->pos(), QPoint(100, 25));
    }

    void viewerIsLoadedByItsCallers() {
        Env e;
        const QString path = e.file("bild.bmp", MakeBmp(30, 20));
        const QString caption = ViewerCaption(ViewerCaller::Extract, path);
        QVERIFY(ShowViewer(e.t.services, path, caption));
        auto *v = e.window<FrmAnzeige>("frmAnzeige");
        QVERIFY(v && v->isVisible() && v->PBox_Fore->size() == QSize(30, 20));

        // Escape closes and releases the window; an unreadable picture opens none.
        QTest::keyClick(v, Qt::Key_Escape);
        QVERIFY(!e.window<FrmAnzeige>("frmAnzeige"));
        QVERIFY(!ShowViewer(e.t.services, e.file("kaputt.bmp", {'B', 'M', 0}), caption));
        QVERIFY(!e.window<FrmAnzeige>("frmAnzeige") && e.t.messages.shown.empty());
        // One beyond the readers' memory limit says so.
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        QVERIFY(!ShowViewer(e.t.services, e.file("gross.bmp", MakeBmp(1000, 600)), caption));
        QImageReader::setAllocationLimit(limit);
        QVERIFY(e.t.messages.contains("Das Bild ist zu groß, um es in Originalgröße anzuzeigen: 1000 x 600 Pixel"));
    }

    void playButtonSwitchesCaptions() {
        Env e;
        QString path;
        QPushButton button("Play wav");
        AttachPlayButton(
            e.t.services, &button, [&] { return path; }, "Play wav");
        button.click();
        QCOMPARE(Said(e.t), "KalmiraB-Nachricht: Es ist keine WAV-Datei geladen.");
        path = e.file("bild.bmp", MakeBmp(2, 2));
        button.click();
        QVERIFY(e.t.messages.shown.size() == 2 && e.t.sound.played.isEmpty());

        // Play, then stop at once.
        path = e.file("lang.WAV", MakeWav(176400 * 60));
        button.click();
        QVERIFY(e.t.sound.played == QStringList{path} && button.text() == "Stop");
        button.click();
        QVERIFY(button.text() == "Play wav" && !e.t.sound.playing);

        // A short file gives the caption back after its playing time.
        path = e.file("kurz.wav", MakeWav(176400 / 20));
        button.click();
        QCOMPARE(button.text(), QString("Stop"));
        QTRY_VERIFY_WITH_TIMEOUT(button.text() == "Play wav" && !e.t.sound.playing, 3000);

        // Formats the player cannot play are refused with the reason.
        path = e.file("tief.wav", MakeWav(600, 2, 44100, 24));
        button.click();
        QVERIFY(button.text() == "Play wav" && e.t.sound.played.size() == 2);
        QVERIFY(e.t.messages.contains(
            "Dieses WAV-Format kann nicht abgespielt werden (Unkomprimiert (PCM), 24 Bit, Stereo)."));

        // A start that fails is said, and the next file plays all the same.
        path = e.file("kurz.wav", MakeWav(176400 / 20));
        struct Refusing : test::FakeSound {
            bool play(const QString &) override { return false; }
        } refusing;
        e.t.services.sound = &refusing;
        button.click();
        QVERIFY(button.text() == "Play wav" && Said(e.t) == "KalmiraB-Nachricht: " + std::string(kCannotPlayText));
        e.t.services.sound = &e.t.sound;
        button.click();
        QCOMPARE(button.text(), QString("Stop"));
        // A sound that stops on its own (a late decoding error) gives the caption back.
        e.t.sound.playing = false;
        QTRY_COMPARE_WITH_TIMEOUT(button.text(), QString("Play wav"), 2000);
    }

    void secondButtonTakesOverAndNoOutputIsSaid() {
        Env e(Program::A);
        const QString path = e.file("a.wav", MakeWav(176400 * 30));
        QPushButton one("Play"), two("Play");
        for (QPushButton *b : {&one, &two})
            AttachPlayButton(
                e.t.services, b, [&] { return path; }, "Play");
        one.click();
        two.click();
        QVERIFY(one.text() == "Play" && two.text() == "Stop");
        two.click();

        e.t.sound.hasOutput = false;
        one.click();
        QVERIFY(one.text() == "Play" && e.t.messages.shown.size() == 1);
        QCOMPARE(Said(e.t), "KalmiraA-Nachricht: " + std::string(kNoAudioText));
    }

    void realPlayerNeverHangsAndRegistrationKeepsInjectedPlayers() {
        Env e;
        QtSoundPlayer player;
        // Without an audio output nothing starts, and nothing waits for one.
        QCOMPARE(player.play(e.file("s.wav", MakeWav(17640))), player.available());
        player.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 2000);

        test::TestServices t;
        RegisterWindows(t.services);
        QCOMPARE(t.services.sound, static_cast<SoundPlayer *>(&t.sound));
        SilentSoundPlayer silent;
        t.services.sound = &silent;
        RegisterWindows(t.services);
        QVERIFY(dynamic_cast<QtSoundPlayer *>(t.services.sound));
    }
};

QTEST_MAIN(InspectWindowsTest)
#include "carrier_windows_test.moc"
