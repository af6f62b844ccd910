// Not a test: saves a picture of every tool window for layout review.
//   tool_windows_shots OUTDIR   (run under Xvfb, see tools/shots_tools.sh)
#include "carrier/flac_file.h"
#include "convert/frmConvert.h"
#include "crypto/frmPas.h"
#include "crypto/frmPasV.h"
#include "extract/extract_texts.h"
#include "fakes_ui.h"
#include "info/frmInfo.h"
#include "inspect/Form1.h"
#include "inspect/frmMain.h"
#include "inspect/register.h"
#include "shell/frmStart.h"
#include "shredder/frmShredderInfo.h"
#include "shredder/frmWipe.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>

using namespace kalmira;

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : ".";
    QDir().mkpath(out);
    test::TestServices t;
    test::TempDir dir;
    test::WriteAll(dir.file("klang.wav"), test::MakeWav(88200));
    test::WriteAll(dir.file("bild.bmp"), test::MakeBmp(120, 80));

    // A recording of two seconds with two comments, for the FLAC info window.
    carrier::FlacAudio flac;
    flac.sampleRate = 44100;
    flac.channels = 2;
    flac.bitsPerSample = 16;
    flac.frames = 88200;
    for (std::uint64_t i = 0; i < flac.frames * 2; ++i)
        flac.samples.push_back(static_cast<std::int32_t>(8000 * std::sin(static_cast<double>(i / 2) / 20)));
    std::vector<std::uint8_t> comments;
    auto put = [&comments](const std::string &s) {
        for (int i = 0; i < 4; ++i) comments.push_back(static_cast<std::uint8_t>(s.size() >> (8 * i)));
        comments.insert(comments.end(), s.begin(), s.end());
    };
    put("Kalmira");
    for (std::uint8_t b : {2, 0, 0, 0}) comments.push_back(b);
    put("TITLE=Abendlied");
    put("ARTIST=Chor");
    flac.blocks.push_back({carrier::FlacVorbisComment, comments});
    flac.blocks.push_back({carrier::FlacPadding, std::vector<std::uint8_t>(4096)});
    carrier::WriteFlacFile(flac, dir.file("lied.flac"));

    auto shot = [&](QWidget *w, const char *name) {
        w->show();
        for (int i = 0; i < 5; ++i) app.processEvents();
        w->grab().save(out + "/" + name + ".png");
        // Room on a 1366 x 768 screen under a title bar and a panel.
        const bool fits = w->width() <= 1366 && w->height() <= 768 - 70;
        std::printf("%-16s %4d x %-4d %s\n", name, w->width(), w->height(), fits ? "" : "TOO LARGE for 1366x768");
        w->hide();
    };
    for (Program p : {Program::B, Program::A}) {
        t.services.program = p;
        FrmStart start(t.services);
        shot(&start, p == Program::B ? "frmStart_B" : "frmStart_A");
        info::FrmInfo help(t.services);
        shot(&help, p == Program::B ? "frmInfo_B" : "frmInfo_A");
    }
    convert::FrmConvert conv(t.services);
    shot(&conv, "frmConvert");
    // With a picture, and with one beyond the image memory limit.
    t.dialogs.openAnswers.push_back(QString::fromStdString(dir.file("bild.bmp")));
    conv.Command1->click();
    shot(&conv, "frmConvert_loaded");
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    test::WriteAll(dir.file("riesig.bmp"), test::MakeBmp(1000, 600));
    t.dialogs.openAnswers.push_back(QString::fromStdString(dir.file("riesig.bmp")));
    conv.Command1->click();
    QImageReader::setAllocationLimit(limit);
    shot(&conv, "frmConvert_too_large");
    shredder::FrmWipe wipe(t.services);
    shot(&wipe, "frmWipe");
    shredder::FrmShredderInfo wipeInfo(t.services);
    shot(&wipeInfo, "frmShredderInfo");
    inspect::WavInfoFile() = QString::fromStdString(dir.file("klang.wav"));
    inspect::FrmMain wav(t.services);
    if (auto *read = wav.findChild<QPushButton *>("Command1")) read->click();
    shot(&wav, "frmMain");
    crypto::FrmPasV pasV(t.services);
    shot(&pasV, "frmPasV");
    crypto::FrmPas pas(t.services);
    shot(&pas, "frmPas");
    crypto::FrmPas pasStealth(t.services);
    pasStealth.setQuestion(QString::fromUtf8(extract::kStealthPasswordQuestion));
    shot(&pasStealth, "frmPas_stealth");
    inspect::RegisterWindows(t.services);
    inspect::ShowImageInfo(t.services, QString::fromStdString(dir.file("bild.bmp")));
    if (QWidget *w = t.registry.existing("Form1")) shot(w, "Form1");
    inspect::ShowCodecInfo(t.services, QString::fromStdString(dir.file("lied.flac")));
    if (QWidget *w = t.registry.existing("frmFlacInfo")) shot(w, "frmFlacInfo");
    t.registry.unloadAll();
    return 0;
}
