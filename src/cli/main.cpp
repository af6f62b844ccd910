// kalmira: the engines of KalmiraA and KalmiraB for scripts and batch use.
#include "cli/commands.h"
#include "cli/console.h"

#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace kalmira::cli;

namespace {

const char *const kExitCodes =
    "Rückgabewerte:\n"
    "  0  erfolgreich\n"
    "  1  falscher Aufruf (Befehl, Optionen, Argumente, Passworteingabe)\n"
    "  2  der Container enthält keine versteckten Daten\n"
    "  3  falsches Passwort\n"
    "  4  Container zu klein oder ungeeignet (kein BMP/WAV, Dateikopf), Datei zu gross\n"
    "  5  Ein-/Ausgabefehler (Datei fehlt, nicht les- oder schreibbar, Ziel existiert\n"
    "     bereits ohne --force)\n"
    "  6  die versteckten Daten sind beschädigt\n";

const char *const kPasswordHelp =
    "Passwort (1 bis 16 Zeichen, Gross-/Kleinschreibung zählt): aus --password-file DATEI\n"
    "(erste Zeile), sonst aus der Umgebungsvariablen KALMIRA_PASSWORD, sonst Eingabe am\n"
    "Terminal ohne Anzeige. Nie auf der Befehlszeile.\n";

struct Command {
    const char *usage;
    const char *text;
    std::size_t positional;
    std::set<std::string> flags;     // options without a value
    std::set<std::string> valued;    // options with a value
    int (*run)(const Options &);
};

const std::map<std::string, Command> &Commands() {
    static const std::map<std::string, Command> commands = {
        {"hide",
         {"kalmira hide CONTAINER DATEI [--cipher aes|rc4|none] [--backup] [--text]\n"
          "             [--password-file DATEI]",
          "Versteckt DATEI komprimiert (und verschlüsselt) in CONTAINER (BMP oder WAV); der\n"
          "Container wird an Ort und Stelle verändert.\n"
          "  --cipher aes|rc4|none  Verschlüsselung: AES-256 (Vorgabe), RC4-kompatibel, keine\n"
          "  --backup               vorher Sicherheitskopie NAME-Kopie.EXT anlegen (eine\n"
          "                         vorhandene Kopie bleibt erhalten)\n"
          "  --text                 DATEI als Textbotschaft wie KalmiraA verstecken (höchstens\n"
          "                         65535 Byte, UTF-8 wird nach Windows-1252 gewandelt)\n",
          2, {"--backup", "--text"}, {"--cipher", "--password-file"}, Hide}},
        {"extract",
         {"kalmira extract CONTAINER [-o PFAD] [--force] [--password-file DATEI]",
          "Holt die versteckte Datei aus CONTAINER. Ohne -o unter ihrem gespeicherten Namen im\n"
          "aktuellen Ordner; ist PFAD ein Ordner, dort. Eine vorhandene Datei wird nur mit\n"
          "--force ersetzt. Bei falschem Passwort gibt es keinen zweiten Versuch.\n",
          1, {"--force"}, {"-o", "--output", "--password-file"}, Extract}},
        {"info",
         {"kalmira info CONTAINER",
          "Zeigt, ob CONTAINER versteckte Daten enthält (Verfahren, gespeicherter Name,\n"
          "Datenlänge, noch freier Platz), seine Kapazität und die Angaben des BMP- oder\n"
          "WAV-Dateikopfs.\n",
          1, {}, {}, Info}},
        {"capacity",
         {"kalmira capacity CONTAINER [--cipher aes|rc4|none]",
          "Gibt die Grösse der grössten Datei in Byte aus, die in CONTAINER passt, vor der\n"
          "Kompression und für nicht komprimierbare Daten gerechnet.\n",
          1, {}, {"--cipher"}, CapacityCommand}},
        {"wipe",
         {"kalmira wipe DATEI [--intensiv]",
          "Überschreibt DATEI, kürzt sie auf 0 Byte, benennt sie um und löscht sie.\n"
          "  --intensiv  sieben Durchgänge statt einem\n",
          1, {"--intensiv"}, {}, Wipe}},
        {"convert",
         {"kalmira convert BILD -o AUSGABE.bmp [--no-optimise] [--force]",
          "Wandelt BILD (BMP, JPG, GIF, WMF, PNG ...) in eine unkomprimierte 24-Bit-BMP-Datei.\n"
          "Vorgabe: Breite und Höhe so angepasst, dass die Bildzeilen keine Füllbytes brauchen.\n"
          "  --no-optimise  Grösse unverändert lassen\n"
          "  --force        eine vorhandene AUSGABE ersetzen\n",
          1, {"--no-optimise", "--force"}, {"-o", "--output"}, Convert}},
    };
    return commands;
}

void GeneralHelp() {
    std::cout << "Kalmira " << KALMIRA_VERSION_MAJOR << "." << KALMIRA_VERSION_MINOR << "."
              << KALMIRA_VERSION_PATCH
              << ": Dateien und Botschaften in BMP- und WAV-Dateien verstecken.\n\n"
                 "Aufruf:\n";
    for (const auto &[name, c] : Commands()) std::cout << "  " << c.usage << "\n";
    std::cout << "  kalmira BEFEHL --help\n  kalmira --version\n\n"
              << kPasswordHelp << "Meldungen erscheinen auf stderr, Ergebnisse auf stdout.\n\n"
              << kExitCodes;
}

void CommandHelp(const Command &c) {
    std::cout << "Aufruf: " << c.usage << "\n\n" << c.text;
    if (c.valued.count("--password-file")) std::cout << "\n" << kPasswordHelp;
    std::cout << "\n" << kExitCodes;
}

int Usage(const std::string &problem, const std::string &command) {
    Complain(problem + "\nHilfe: kalmira " + (command.empty() ? "" : command + " ") + "--help");
    return kUsage;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("Kein Befehl angegeben.", "");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        GeneralHelp();
        return kOk;
    }
    if (args[0] == "--version") {
        std::cout << "kalmira " << KALMIRA_VERSION_MAJOR << "." << KALMIRA_VERSION_MINOR << "."
                  << KALMIRA_VERSION_PATCH << std::endl;
        return kOk;
    }
    const auto found = Commands().find(args[0]);
    if (found == Commands().end()) return Usage("Unbekannter Befehl \"" + args[0] + "\".", "");
    const std::string &name = found->first;
    const Command &c = found->second;

    Options o;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            o.args.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            CommandHelp(c);
            return kOk;
        }
        std::string value;
        bool hasValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            hasValue = true;
        }
        if (c.flags.count(a)) {
            if (hasValue) return Usage("Die Option " + a + " nimmt keinen Wert.", name);
            if (a == "--backup") o.backup = true;
            if (a == "--text") o.text = true;
            if (a == "--force") o.force = true;
            if (a == "--intensiv") o.intensiv = true;
            if (a == "--no-optimise") o.optimise = false;
            continue;
        }
        if (!c.valued.count(a)) return Usage("Unbekannte Option \"" + a + "\".", name);
        if (!hasValue) {
            if (i + 1 >= args.size()) return Usage("Die Option " + a + " braucht einen Wert.", name);
            value = args[++i];
        }
        if (a == "--cipher") {
            if (value == "aes") o.cipher = kalmira::payload::Mode::Aes;
            else if (value == "rc4") o.cipher = kalmira::payload::Mode::Rc4;
            else if (value == "none") o.cipher = kalmira::payload::Mode::Plain;
            else return Usage("--cipher nimmt aes, rc4 oder none.", name);
        } else if (a == "--password-file") {
            o.passwordFile = value;
        } else {
            o.output = value;
        }
        if (value.empty()) return Usage("Die Option " + a + " braucht einen Wert.", name);
    }
    if (o.args.size() != c.positional)
        return Usage(o.args.size() < c.positional ? "Zu wenige Argumente." : "Zu viele Argumente.", name);
    if (name == "convert" && o.output.empty()) return Usage("Die Ausgabedatei fehlt (-o).", name);
    return c.run(o);
}
