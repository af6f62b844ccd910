// The commands that do not hide or extract: wipe and convert.
#include "cli/commands.h"

#include "cli/console.h"
#include "convert/convert_texts.h"
#include "convert/modConvert.h"
#include "platform/platform.h"
#include "platform/temp_file.h"
#include "shell/helpers.h"
#include "shredder/wipe.h"

#include <iostream>

namespace kalmira::cli {

int Wipe(const Options &o) {
    const std::string &path = o.args[0];
    if (!platform::IsRegularFile(path)) {
        Complain(platform::KindOf(path) == platform::PathKind::Absent
                     ? "Die Datei \"" + path + "\" wurde nicht gefunden!"
                     : "\"" + path +
                           "\" ist keine gewöhnliche Datei (ein Ordner, eine Pipe oder ein Gerät) und "
                           "wird nicht zerstört.");
        return kIoError;
    }
    struct Observer : shredder::WipeObserver {
        ProgressBar bar;
        void progress(int pct) override { bar.show(pct, "Datei wird überschrieben..."); }
    } observer;
    const auto method = o.intensiv ? shredder::Method::Intensiv : shredder::Method::Normal;
    const shredder::WipeResult result = shredder::wipe(path, method, observer);
    if (result == shredder::WipeResult::Destroyed) observer.bar.show(100, "Datei wird überschrieben...");
    observer.bar.finish();
    switch (result) {
    case shredder::WipeResult::Destroyed:
        std::cout << "Die Datei \"" << path << "\" wurde vernichtet." << std::endl;
        return kOk;
    case shredder::WipeResult::NotDeleted:
        Complain("Die Datei " + path + " wurde überschrieben, konnte aber nicht gelöscht werden!");
        break;
    case shredder::WipeResult::IsLink:
        Complain("Die Datei " + path +
                 " ist eine Verknüpfung (symbolischer Link); Verknüpfungen "
                 "werden nicht zerstört. Es wurde nichts verändert.");
        break;
    case shredder::WipeResult::Replaced:
        Complain("Die Datei " + path +
                 " wurde während des Überschreibens durch eine andere Datei oder eine "
                 "Verknüpfung ersetzt. Der Vorgang wurde abgebrochen; die neue Datei wurde nicht angetastet.");
        break;
    case shredder::WipeResult::OpenFailed:
        Complain("Die Datei " + path +
                 " kann nicht geöffnet werden. Sie wird wahrscheinlich von einer anderen Anwendung benutzt.");
        break;
    }
    return kIoError;
}

int Convert(const Options &o) {
    const std::string &image = o.args[0];
    const std::string &out = o.output;
    if (!platform::IsRegularFile(image)) {
        Complain("Die Bilddatei \"" + image + "\" wurde nicht gefunden!");
        return kIoError;
    }
    if (platform::FileExists(out) && !o.force) {
        Complain("Die Datei \"" + out + "\" existiert bereits. Mit --force wird sie überschrieben.");
        return kIoError;
    }
    platform::StagedFile staged(out);
    if (!staged.valid()) {
        Complain("Im Zielordner \"" + (FolderOf(out).empty() ? std::string("./") : FolderOf(out)) +
                 "\" kann nicht geschrieben werden.");
        return kIoError;
    }
    convert::ConvertRequest request{image, staged.path(), convert::OutputTypeOf(out), o.optimise, o.reduceBy};
    const convert::ConvertResult result = convert::ConvertImage(request);
    const bool png = request.type == convert::OutputType::Png;
    switch (result.status) {
    case convert::ConvertStatus::Ok: break;
    case convert::ConvertStatus::DecodersMissing:
        Complain("Die Datei " + convert::DecoderFileName() +
                 " wurde nicht gefunden! Ohne sie liest kalmira keine Bilder.");
        return kIoError;
    case convert::ConvertStatus::CannotDecode:
        Complain("Die Datei \"" + image + "\" kann nicht als Bild gelesen werden.");
        return kUnsuitable;
    case convert::ConvertStatus::SaveFailed:
        Complain(std::string(png ? "Fehler beim Speichern des PNG-Bildes: " : "Fehler beim Speichern der Bitmap: ") +
                 convert::ErrorText(result.error));
        return kIoError;
    }
    if (staged.commit(o.force) != platform::StagedFile::Commit::Done) {
        Complain("Die Datei \"" + out + "\" konnte nicht geschrieben werden.");
        return kIoError;
    }
    std::cout << "Die Bilddatei \"" << FileNameOf(image) << "\" wurde in eine "
              << (png ? "PNG-Datei (8 Bit RGB)" : "24-Bit Datei") << " konvertiert (" << result.written.width << " x "
              << result.written.height << " Pixel): " << out << std::endl;
    return kOk;
}

} // namespace kalmira::cli
