#include "shell/program_options.h"

namespace kalmira {

StartAction StartActionFor(const std::vector<std::string> &args) {
    // Only alone: a carrier may well be named "--help.bmp".
    if (args.size() != 1) return StartAction::Windows;
    if (args[0] == "--help" || args[0] == "-h") return StartAction::PrintHelp;
    if (args[0] == "--version" || args[0] == "-V") return StartAction::PrintVersion;
    return StartAction::Windows;
}

std::string ProgramHelpText(Program program) {
    const std::string name = ProgramName(program);
    const bool a = program == Program::A;
    return "Aufruf: " + name + " [CONTAINER]\n" +
           (a ? "Versteckt eine Textbotschaft in einem BMP-Bild oder einer WAV-Klangdatei und liest sie\n"
                "wieder aus.\n"
              : "Versteckt eine Datei in einem BMP-Bild oder einer WAV-Klangdatei und extrahiert sie\n"
                "wieder.\n") +
           "\n"
           "  CONTAINER    ein BMP-Bild oder eine WAV-Datei: öffnet gleich das Fenster zum\n"
           "               Extrahieren und liest daraus\n"
           "  --help, -h   diese Hilfe zeigen\n"
           "  --version    Version und Lizenz zeigen\n"
           "\n"
           "Ohne Fenster, für Skripte: kalmira --help\n";
}

std::string ProgramVersionText(Program program) {
    return std::string(ProgramName(program)) + " " + std::to_string(KALMIRA_VERSION_MAJOR) + "." +
           std::to_string(KALMIRA_VERSION_MINOR) + "." + std::to_string(KALMIRA_VERSION_PATCH) +
           "\nLizenz: GPL-3.0-or-later\n";
}

} // namespace kalmira
