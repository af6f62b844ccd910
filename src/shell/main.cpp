// Entry point of KalmiraA and KalmiraB; the same code, KALMIRA_PROGRAM_A picks.
#include "convert/image_memory.h"
#include "convert/register.h"
#include "crypto/register.h"
#include "extract/register.h"
#include "hide/register.h"
#include "info/register.h"
#include "inspect/register.h"
#include "platform/platform.h"
#include "shell/frmStart.h"
#include "shell/registry.h"
#include "shell/services.h"
#include "shredder/register.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

int main(int argc, char **argv) {
    kalmira::platform::HardenProcess(); // before any secret can reach memory
    QApplication app(argc, argv);
#ifdef KALMIRA_PROGRAM_A
    const auto program = kalmira::Program::A;
#else
    const auto program = kalmira::Program::B;
#endif
    QApplication::setApplicationName(kalmira::ProgramName(program));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kalmira/icon.png")));
    // The interface is German: Qt's own dialogs and buttons too ("Ja", "Abbrechen").
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTranslator qtGerman;
    if (qtGerman.load("qtbase_de", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtGerman);
    kalmira::Services &services = kalmira::DefaultServices(program);
    // Camera pictures exceed the image readers' default allowance.
    kalmira::convert::ApplyImageMemoryLimit();

    // The programs take everything after the program name as one argument.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    services.commandLine = args.join(' ');

    kalmira::WindowRegistry &registry = *services.registry;
    registry.registerFactory("frmStart", [&services] { return new kalmira::FrmStart(services); });
    kalmira::crypto::RegisterWindows(services);
    kalmira::hide::RegisterWindows(services);
    kalmira::extract::RegisterWindows(services);
    kalmira::inspect::RegisterWindows(services);
    kalmira::shredder::RegisterWindows(services);
    kalmira::convert::RegisterWindows(services);
    kalmira::info::RegisterWindows(services);

    auto *start = registry.get<kalmira::FrmStart>("frmStart");
    start->load();
    return app.exec();
}
