#include "shell/window_helpers.h"

#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_parts.h"

#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace kalmira {

static QString runDialog(Services &s, bool save, QWidget *owner, const QString &title, QString &folder,
                         const QString &fileName, const QString &filter, const QString &defaultExt) {
    DialogRequest r{owner, title, folder, fileName, filter, defaultExt};
    DialogResult res = save ? s.dialogs->save(r) : s.dialogs->open(r);
    if (res.cancelled()) return {};
    folder = res.folder;
    return res.fileName;
}

QString ShowOpenDialog(Services &s, QWidget *owner, const QString &title, QString &folder, const QString &fileName,
                       const QString &filter, const QString &defaultExt) {
    return runDialog(s, false, owner, title, folder, fileName, filter, defaultExt);
}

QString ShowSaveDialog(Services &s, QWidget *owner, const QString &title, QString &folder, const QString &fileName,
                       const QString &filter, const QString &defaultExt) {
    return runDialog(s, true, owner, title, folder, fileName, filter, defaultExt);
}

QString StartFolder(const Services &s, const QString &kind, const QString &fallback) {
    const QString known = s.folders ? s.folders->folder(kind) : QString();
    return known.isEmpty() ? fallback : WithSeparator(known);
}

void RememberFolder(Services &s, const QString &kind, const QString &folder) {
    if (s.folders && !folder.isEmpty()) s.folders->remember(kind, folder);
}

void OpenWithApplication(Services &s, const QString &path) {
    int rc = s.desktop->open(path);
    if (rc == 2) {
        s.messages->show(Icon::Critical, "Fehler", S("Die Datei ''" + path + "'' wurde nicht geunden."));
    } else if (rc == 31 && !s.desktop->chooseApplication(path)) {
        // No opener at all (e.g. xdg-open not installed): say so instead of nothing.
        s.messages->show(Icon::Exclamation, S(s.programName() + "-Nachricht"),
                         S("Die Datei \"" + path +
                           "\" konnte nicht geöffnet werden: Auf diesem System ist kein Programm zum "
                           "Öffnen von Dateien (xdg-open) installiert, oder keines kann diesen Dateityp "
                           "öffnen."));
    }
}

namespace {

// True unless the picture cannot be used as a carrier.
bool Thumbnail(Services &s, QWidget *window, const QString &path, const char *shortOfMemoryText) {
    auto *view = window ? window->findChild<QLabel *>("Anzeige1") : nullptr;
    auto *frame = window ? window->findChild<QWidget *>("Picture2") : nullptr;
    if (!view || !frame) return true;
    const int box = TwipsToPixels(2355);
    view->hide();
    view->setScaledContents(false);

    QImageReader reader(path);
    const QSize size = reader.size();
    // More pixels than the readers may take (set at program start from the
    // machine's memory) is a matter of memory, not of a broken file.
    const bool tooManyPixels = size.isValid() && QImageReader::allocationLimit() > 0 &&
                               qint64(size.width()) * size.height() * 4 > qint64(QImageReader::allocationLimit()) << 20;
    QImage img = tooManyPixels ? QImage() : reader.read();
    if (img.isNull()) {
        // A readable header with a failed decode means the pixels did not fit.
        bool shortOfMemory = tooManyPixels || (size.isValid() && reader.error() != QImageReader::InvalidDataError &&
                                               reader.error() != QImageReader::UnsupportedFormatError);
        if (shortOfMemory) {
            s.messages->show(Icon::Information, "KalmiraB - Info", shortOfMemoryText);
            return true;
        }
        s.messages->show(Icon::Critical, "KalmiraB - Info",
                         "Containerdatei ist zu gross oder defekt! Bilddatei kann nicht "
                         "verwendet werden werden!");
        return false;
    }
    int w = img.width(), h = img.height();
    double r = static_cast<double>(h) / w;
    if (w > h) {
        w = box;
        h = static_cast<int>(box * r);
    } else if (h > w) {
        h = box;
        w = static_cast<int>(box / r);
    } else if (w > TwipsToPixels(20 * 15)) {
        w = h = box;
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    view->setScaledContents(true);
    view->setPixmap(QPixmap::fromImage(img.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    view->resize(w, h);
    view->move((frame->width() - w) / 2 - TwipsToPixels(20), (frame->height() - h) / 2 - TwipsToPixels(20));
    view->show();
    return true;
}

} // namespace

void ShowBmpThumbnail(Services &s, QWidget *window, const QString &path) {
    Flags().carrierUsable = Thumbnail(s, window, path,
                                      "Zu wenig Speicher! Die Bilddatei kann nicht angezeigt werden. Sie kann aber als "
                                      "Container benutzt werden!");
}

bool ShowMessageWindowThumbnail(Services &s, QWidget *window, const QString &path) {
    return Thumbnail(s, window, path,
                     "Zu wenig Speicher! Die Bilddatei kann nicht angezeigt werden! Sie kann aber "
                     "als Container verwendet werden.");
}

} // namespace kalmira
