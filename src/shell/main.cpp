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
#include "shell/program_options.h"
#include "shell/registry.h"
#include "shell/services.h"
#include "shredder/register.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Qt's file dialog shows dates in the system locale's format, which Qt reads
// from the environment once, when the application starts; the windows are
// German, so are their dates. LC_ALL would override LC_TIME: its value moves
// to LANG, where it still governs everything else.
void UseGermanDates() {
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty()) {
        qputenv("LANG", all);
        qunsetenv("LC_ALL");
    }
    qputenv("LC_TIME", "de_DE.UTF-8");
}

} // namespace

int main(int argc, char **argv) {
#ifdef KALMIRA_PROGRAM_A
    const auto program = kalmira::Program::A;
#else
    const auto program = kalmira::Program::B;
#endif
    // Answered before any window, so they work without a display too.
    switch (kalmira::StartActionFor(std::vector<std::string>(argv + std::min(argc, 1), argv + argc))) {
    case kalmira::StartAction::PrintHelp: std::cout << kalmira::ProgramHelpText(program); return 0;
    case kalmira::StartAction::PrintVersion: std::cout << kalmira::ProgramVersionText(program); return 0;
    case kalmira::StartAction::Windows: break;
    }
    kalmira::platform::HardenProcess(); // before any secret can reach memory
    UseGermanDates();
    QApplication app(argc, argv);
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
