#include "inspect/register.h"

#include "carrier/carrier_texts.h"
#include "convert/image_memory.h"
#include "inspect/Form1.h"
#include "inspect/codec_info.h"
#include "inspect/frmAnzeige.h"
#include "inspect/frmFlacInfo.h"
#include "inspect/frmMain.h"
#include "inspect/sound.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/services.h"

#include <QLocale>

namespace kalmira::inspect {

void RegisterWindows(Services &services) {
    static QtSoundPlayer player;
    if (!services.sound || dynamic_cast<SilentSoundPlayer *>(services.sound)) services.sound = &player;
    WindowRegistry &r = *services.registry;
    r.registerFactory("frmMain", [&services] { return new FrmMain(services); });
    r.registerFactory("frmAnzeige", [&services] { return new FrmAnzeige(services); });
    r.registerFactory("Form1", [&services] { return new Form1(services); });
    r.registerFactory("frmFlacInfo", [&services] { return new FrmFlacInfo(services); });
}

void ShowWavInfo(Services &services, const QString &wavPath) {
    auto *w = services.registry->get<FrmMain>("frmMain");
    if (!w) return;
    WavInfoFile() = wavPath;
    w->Command1->click();
    services.registry->show("frmMain");
}

void ShowCodecInfo(Services &services, const QString &path) {
    const std::string p = S(path);
    const CodecFacts f = ReadCodecFacts(p);
    std::string text = carrier::CarrierAccessText(f.opening.access, p);
    if (text.empty() && f.problem != carrier::CodecProblem::None) text = carrier::CodecProblemText(f.problem, p);
    if (!text.empty()) {
        services.messages->show(Icon::Exclamation, "Kalmira", text);
        return;
    }
    if (f.kind == carrier::CarrierKind::Flac) {
        auto *w = services.registry->get<FrmFlacInfo>("frmFlacInfo");
        if (!w) return;
        w->showFacts(path, f);
        services.registry->show("frmFlacInfo");
        return;
    }
    text = p + "\n";
    for (const std::string &line : PngFactLines(f.png)) text += "\n" + line;
    services.messages->show(Icon::Information, "PNG-Bild", text);
}

void ShowImageInfo(Services &services, const QString &bmpPath) {
    auto *w = services.registry->get<Form1>("Form1");
    if (!w) return;
    w->setPath(bmpPath);
    w->Command1->click();
    services.registry->show("Form1");
}

QString ViewerCaption(ViewerCaller caller, const QString &bmpPath) {
    const char *prefix = caller == ViewerCaller::Hide ? "Container-Bilddatei ->  " : "Container-Bilddatei  ->  ";
    return prefix + bmpPath + "    , in Originalgrösse";
}

bool ShowViewer(Services &services, const QString &bmpPath, const QString &caption) {
    const bool wasOpen = services.registry->existing("frmAnzeige");
    auto *w = services.registry->get<FrmAnzeige>("frmAnzeige");
    if (!w) return false;
    if (!w->loadPicture(bmpPath)) {
        if (!wasOpen) services.registry->unload("frmAnzeige");
        // Only a picture too large for the memory is worth a word: a broken
        // one has already been refused when it was chosen.
        if (const auto big = convert::TooLargeToDecode(S(bmpPath)))
            services.messages->show(Icon::Information, S(services.programName() + "-Nachricht"),
                                    S(QString("Das Bild ist zu groß, um es in Originalgröße anzuzeigen: %1 x %2 Pixel "
                                              "brauchen %3 MB Arbeitsspeicher, erlaubt sind %4 MB.")
                                          .arg(big->width)
                                          .arg(big->height)
                                          .arg(QLocale().toString(static_cast<qlonglong>(big->neededMb)))
                                          .arg(QLocale().toString(static_cast<qlonglong>(big->limitMb)))));
        return false;
    }
    w->setWindowTitle(caption);
    services.registry->show("frmAnzeige");
    return true;
}

} // namespace kalmira::inspect
