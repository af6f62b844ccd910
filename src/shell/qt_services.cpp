#include "shell/qt_services.h"

#include "shell/registry.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace kalmira {

Answer QtMessages::show(Icon icon, const std::string &title, const std::string &text, Buttons buttons) {
    QMessageBox box;
    box.setWindowTitle(Q(title));
    // Texts use Windows line ends, some with a lone CR.
    QString body = Q(text);
    body.replace("\r\n", "\n");
    body.replace('\r', '\n');
    box.setText(body);
    switch (icon) {
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::None: break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case Buttons::RetryCancel: box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    default: return Answer::Cancel;
    }
}

QString QtFilterFromPairs(const QString &pairs) {
    const QStringList parts = pairs.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        int paren = desc.indexOf('(');
        if (paren >= 0) desc = desc.left(paren);
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // "*.*" means every file; here it would skip the names without a dot.
        patterns.replace("*.*", "*");
        filters << desc.trimmed() + " (" + patterns.trimmed() + ")";
    }
    return filters.join(";;");
}

static DialogResult splitChosen(const QString &chosen) {
    if (chosen.isEmpty()) return {};
    QFileInfo fi(chosen);
    QString folder = QDir::toNativeSeparators(fi.absolutePath());
    if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
    return {folder, fi.fileName()};
}

static QString startPath(const DialogRequest &r) {
    if (r.folder.isEmpty()) return r.fileName;
    return QDir(r.folder).filePath(r.fileName);
}

DialogResult QtFileDialogs::open(const DialogRequest &r) {
    return splitChosen(QFileDialog::getOpenFileName(r.owner, r.title, startPath(r), QtFilterFromPairs(r.filter)));
}

DialogResult QtFileDialogs::save(const DialogRequest &r) {
    QFileDialog dlg(r.owner, r.title, startPath(r), QtFilterFromPairs(r.filter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    // Callers pass "*.txt" as the Windows dialogs take it; "*.*" means none.
    QString suffix = r.defaultExt;
    while (suffix.startsWith('*') || suffix.startsWith('.')) suffix.remove(0, 1);
    if (!suffix.isEmpty() && suffix != "*") dlg.setDefaultSuffix(suffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return splitChosen(dlg.selectedFiles().first());
}

QString QtClipboard::text() const { return QApplication::clipboard()->text(); }
void QtClipboard::setText(const QString &text) { QApplication::clipboard()->setText(text); }
void QtClipboard::clear() { QApplication::clipboard()->clear(); }

int QtDesktop::open(const QString &path) {
    if (!QFileInfo::exists(path)) return 2;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? 0 : 31;
}

bool QtDesktop::chooseApplication(const QString &path) {
    // The nearest to the system's "open with" dialog that desktops offer.
    return QProcess::startDetached("xdg-open", {path});
}

void QtEventPump::processEvents() { QCoreApplication::processEvents(); }

namespace {
std::unique_ptr<QSettings> OpenSettings(const QString &iniFile) {
    if (!iniFile.isEmpty()) return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Kalmira", "Kalmira");
}
} // namespace

QString SettingsFolderMemory::folder(const QString &kind) const {
    const QString folder = OpenSettings(iniFile_)->value("Ordner/" + kind).toString();
    // A folder removed since is no start: the dialog would fall back to anywhere.
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void SettingsFolderMemory::remember(const QString &kind, const QString &folder) {
    if (folder.isEmpty()) return;
    OpenSettings(iniFile_)->setValue("Ordner/" + kind, folder);
}

Services &DefaultServices(Program program) {
    static QtMessages messages;
    static QtFileDialogs dialogs;
    static QtClipboard clipboard;
    static QtDesktop desktop;
    static SilentSoundPlayer sound;
    static QtEventPump pump;
    static SettingsFolderMemory folders;
    static WindowRegistry registry;
    static Services services;
    services.program = program;
    services.messages = &messages;
    services.dialogs = &dialogs;
    services.clipboard = &clipboard;
    services.desktop = &desktop;
    services.sound = &sound;
    services.pump = &pump;
    services.folders = &folders;
    services.registry = &registry;
    // Queued: a request made before the event loop runs (an extraction started
    // from the command line) would otherwise be lost and leave no window.
    services.exitProgram = [](int code) {
        QMetaObject::invokeMethod(
            qApp, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    };
    return services;
}

} // namespace kalmira
