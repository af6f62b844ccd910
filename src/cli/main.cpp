// kalmira: the engines of KalmiraA and KalmiraB for scripts and batch use.
#include "cli/commands.h"
#include "cli/console.h"
#include "platform/platform.h"
#include "platform/terminal.h"

#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace kalmira::cli;

namespace {

const char *const kExitCodes = "Rückgabewerte:\n"
                               "  0  erfolgreich\n"
                               "  1  falscher Aufruf (Befehl, Optionen, Argumente, Passworteingabe)\n"
                               "  2  der Container enthält keine versteckten Daten (Tarnformat: oder das Passwort ist\n"
                               "     falsch; beides ist dort absichtlich nicht zu unterscheiden)\n"
                               "  3  falsches Passwort\n"
                               "  4  Container zu klein oder ungeeignet (kein BMP/WAV, Dateikopf), Datei zu gross\n"
                               "     oder ungeeignet (Textbotschaft, Dateiname)\n"
                               "  5  Ein-/Ausgabefehler (Datei fehlt, nicht les- oder schreibbar, Ziel existiert\n"
                               "     bereits ohne --force)\n"
                               "  6  die versteckten Daten sind beschädigt\n";

const char *const kPasswordHelp =
    "Passwort (1 bis 16 Zeichen, Gross-/Kleinschreibung zählt): aus --password-file DATEI\n"
    "(erste Zeile; --password-file - liest sie von der Standardeingabe), sonst aus der\n"
    "Umgebungsvariablen KALMIRA_PASSWORD, sonst Eingabe am Terminal ohne Anzeige. Nie\n"
    "auf der Befehlszeile.\n";

// Every option once: its names, whether it takes a value, and what it sets.
// `set` returns a complaint, or "" when the value was taken.
struct Option {
    const char *name;
    const char *alias; // nullptr when it has none
    bool takesValue;
    std::string (*set)(Options &o, const std::string &value);
};

// A table: one entry per option, however many there are.
// NOLINTNEXTLINE(readability-function-size)
const std::vector<Option> &AllOptions() {
    static const std::vector<Option> options = {
        {"--cipher", nullptr, true,
         [](Options &o, const std::string &v) -> std::string {
             if (v == "aes")
                 o.cipher = kalmira::payload::Mode::Aes;
             else if (v == "rc4")
                 o.cipher = kalmira::payload::Mode::Rc4;
             else if (v == "none")
                 o.cipher = kalmira::payload::Mode::Plain;
             else
                 return "--cipher nimmt aes, rc4 oder none.";
             o.cipherGiven = true;
             return "";
         }},
        {"--password-file", nullptr, true,
         [](Options &o, const std::string &v) {
             o.passwordFile = v;
             return std::string();
         }},
        {"--output", "-o", true,
         [](Options &o, const std::string &v) {
             o.output = v;
             return std::string();
         }},
        {"--backup", nullptr, false,
         [](Options &o, const std::string &) {
             o.backup = true;
             return std::string();
         }},
        {"--text", nullptr, false,
         [](Options &o, const std::string &) {
             o.text = true;
             return std::string();
         }},
        {"--raw", nullptr, false,
         [](Options &o, const std::string &) {
             o.raw = true;
             return std::string();
         }},
        {"--force", nullptr, false,
         [](Options &o, const std::string &) {
             o.force = true;
             return std::string();
         }},
        {"--intensiv", nullptr, false,
         [](Options &o, const std::string &) {
             o.intensiv = true;
             return std::string();
         }},
        {"--stealth", nullptr, false,
         [](Options &o, const std::string &) {
             o.stealth = true;
             return std::string();
         }},
        {"--no-optimise", nullptr, false,
         [](Options &o, const std::string &) {
             o.optimise = false;
             return std::string();
         }},
        {"--verkleinern", nullptr, true,
         [](Options &o, const std::string &v) -> std::string {
             if (v.empty() || v.size() > 2 || v.find_first_not_of("0123456789") != std::string::npos ||
                 std::stoi(v) < 2)
                 return "--verkleinern nimmt eine ganze Zahl von 2 bis 99.";
             o.reduceBy = std::stoi(v);
             return "";
         }},
    };
    return options;
}

struct Command {
    const char *usage;
    const char *text;
    std::size_t positional;
    std::set<std::string> options; // the long names it accepts
    int (*run)(const Options &);
};

// A table: each command with its help text.
// NOLINTNEXTLINE(readability-function-size)
const std::map<std::string, Command> &Commands() {
    static const std::map<std::string, Command> commands = {
        {"hide",
         {"kalmira hide CONTAINER DATEI [--cipher aes|rc4|none] [--backup] [--text]\n"
          "             [--stealth] [--password-file DATEI]",
          "Versteckt DATEI komprimiert (und verschlüsselt) in CONTAINER (klassisch nur BMP\n"
          "oder WAV, an Ort und Stelle verändert; PNG und FLAC nur mit --stealth).\n"
          "  --cipher aes|rc4|none  Verschlüsselung: AES-256 (Vorgabe), RC4-kompatibel, keine\n"
          "  --backup               vorher Sicherheitskopie NAME-Kopie.EXT anlegen (eine\n"
          "                         vorhandene Kopie bleibt erhalten)\n"
          "  --text                 DATEI als Textbotschaft wie KalmiraA verstecken (höchstens\n"
          "                         65535 Byte, UTF-8 wird nach Windows-1252 gewandelt)\n"
          "  --stealth              im Tarnformat verstecken: schwer zu entdecken, immer\n"
          "                         verschlüsselt (ohne --cipher und --backup), nicht\n"
          "                         komprimiert; keine feste Grenze, aber nur unruhige Bild-\n"
          "                         und Klangstellen nehmen Daten auf, höchstens ein halbes\n"
          "                         Bit je Wert (oft weniger als klassisch, siehe capacity);\n"
          "                         nimmt 24-/32-Bit-BMP,\n"
          "                         unkomprimierte WAV, PNG (8/16 Bit je Kanal) und FLAC;\n"
          "                         PNG und FLAC werden als Ganzes neu geschrieben\n",
          2,
          {"--backup", "--text", "--cipher", "--stealth", "--password-file"},
          Hide}},
        {"extract",
         {"kalmira extract CONTAINER [-o PFAD|-] [--force] [--text [--raw]]\n"
          "                [--password-file DATEI]",
          "Holt die versteckte Datei aus CONTAINER. Ohne -o unter ihrem gespeicherten Namen im\n"
          "aktuellen Ordner; ist PFAD ein Ordner, dort; mit -o - auf die Standardausgabe,\n"
          "aber nicht auf ein Terminal (ausser mit --text oder --force).\n"
          "Eine vorhandene Datei wird nur mit --force ersetzt. Bei falschem Passwort gibt es\n"
          "keinen zweiten Versuch. Enthält CONTAINER nichts im klassischen Format, wird das\n"
          "Tarnformat mit dem Passwort geprüft; dort sind \"keine Daten\" und \"falsches\n"
          "Passwort\" absichtlich eine einzige Antwort (Rückgabewert 2).\n"
          "  --text  eine Textbotschaft wie KalmiraA holen und als UTF-8 schreiben\n"
          "  --raw   mit --text: die gespeicherten Bytes (Windows-1252) unverändert schreiben\n",
          1,
          {"--force", "--text", "--raw", "--output", "--password-file"},
          Extract}},
        {"info",
         {"kalmira info CONTAINER",
          "Zeigt, ob CONTAINER versteckte Daten enthält (Verfahren, gespeicherter Name,\n"
          "Datenlänge, noch freier Platz), seine Kapazität und die Angaben des BMP- oder\n"
          "WAV-Dateikopfs; bei PNG und FLAC deren Bild- oder Klangangaben und Chunks bzw.\n"
          "Metadaten. Daten im Tarnformat sind ohne Passwort nicht zu erkennen: ohne\n"
          "klassische Daten sagt info, ob der Container welche im Tarnformat tragen kann.\n",
          1,
          {},
          Info}},
        {"capacity",
         {"kalmira capacity CONTAINER [--cipher aes|rc4|none | --stealth]",
          "Gibt die Grösse der grössten Datei in Byte aus, die in CONTAINER passt, vor der\n"
          "Kompression und für nicht komprimierbare Daten gerechnet.\n"
          "  --stealth  im Tarnformat: Dateiname (UTF-8) und Daten zusammen, in Byte\n"
          "             (auch für PNG und FLAC); in der zweiten Zeile die empfohlene\n"
          "             Höchstmenge\n",
          1,
          {"--cipher", "--stealth"},
          CapacityCommand}},
        {"wipe",
         {"kalmira wipe DATEI [--intensiv]",
          "Überschreibt DATEI, kürzt sie auf 0 Byte, benennt sie um und löscht sie.\n"
          "  --intensiv  sieben Durchgänge statt einem\n",
          1,
          {"--intensiv"},
          Wipe}},
        {"convert",
         {"kalmira convert BILD -o AUSGABE.bmp|AUSGABE.png [--verkleinern N] [--no-optimise] [--force]",
          "Wandelt BILD (BMP, JPG, GIF, WMF, PNG ...) in eine unkomprimierte 24-Bit-BMP-Datei,\n"
          "oder in eine PNG-Datei (8 Bit RGB), wenn AUSGABE auf .png endet.\n"
          "Vorgabe: Breite und Höhe so angepasst, dass die Bildzeilen keine Füllbytes brauchen.\n"
          "  --verkleinern N  Breite und Höhe durch N (ab 2) teilen, jedes Pixel als Mittel\n"
          "                   eines N x N-Blocks; das 8x8-Raster eines JPEG-Bildes verschwindet\n"
          "  --no-optimise    Grösse sonst unverändert lassen\n"
          "  --force          eine vorhandene AUSGABE ersetzen\n",
          1,
          {"--no-optimise", "--force", "--output", "--verkleinern"},
          Convert}},
    };
    return commands;
}

const Option *FindOption(const std::string &given) {
    for (const Option &opt : AllOptions())
        if (given == opt.name || (opt.alias && given == opt.alias)) return &opt;
    return nullptr;
}

void Version() {
    std::cout << "kalmira " << KALMIRA_VERSION_MAJOR << "." << KALMIRA_VERSION_MINOR << "." << KALMIRA_VERSION_PATCH
              << "\n"
              << "Lizenz: GPL-3.0-or-later, GNU General Public License Version 3 oder neuer\n"
                 "<https://www.gnu.org/licenses/gpl-3.0.html>. Dies ist freie Software: Sie dürfen\n"
                 "sie ändern und weitergeben. Es gibt KEINE GARANTIE, soweit gesetzlich zulässig.\n";
    std::cout.flush();
}

void GeneralHelp() {
    std::cout << "Kalmira " << KALMIRA_VERSION_MAJOR << "." << KALMIRA_VERSION_MINOR << "." << KALMIRA_VERSION_PATCH
              << ": Dateien und Botschaften in BMP- und WAV-Dateien verstecken.\n\n"
                 "Aufruf:\n";
    for (const auto &[name, c] : Commands()) std::cout << "  " << c.usage << "\n";
    std::cout << "  kalmira BEFEHL --help\n  kalmira --version (-V)\n\n"
              << kPasswordHelp
              << "Meldungen erscheinen auf stderr, Ergebnisse auf stdout (mit extract -o - die\n"
                 "extrahierte Datei selbst).\n\n"
              << kExitCodes;
}

void CommandHelp(const Command &c) {
    std::cout << "Aufruf: " << c.usage << "\n\n" << c.text;
    if (c.options.count("--password-file")) std::cout << "\n" << kPasswordHelp;
    std::cout << "\n" << kExitCodes;
}

int Usage(const std::string &problem, const std::string &command) {
    Complain(problem + "\nHilfe: kalmira " + (command.empty() ? "" : command + " ") + "--help");
    return kUsage;
}

// Reads the options of `c` into `o`; kOk, or the exit code after the complaint
// (or after the help, which ends the run with kOk: `helped`).
int ParseOptions(const std::vector<std::string> &args, const std::string &name, const Command &c, Options &o,
                 bool &helped) {
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
            helped = true;
            return kOk;
        }
        std::string value;
        bool hasValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            hasValue = true;
        }
        const Option *opt = FindOption(a);
        if (!opt || !c.options.count(opt->name)) return Usage("Unbekannte Option \"" + a + "\".", name);
        if (!opt->takesValue && hasValue) return Usage("Die Option " + a + " nimmt keinen Wert.", name);
        if (opt->takesValue && !hasValue) {
            if (i + 1 >= args.size()) return Usage("Die Option " + a + " braucht einen Wert.", name);
            value = args[++i];
        }
        const std::string problem = opt->set(o, value);
        if (!problem.empty()) return Usage(problem, name);
        if (opt->takesValue && value.empty()) return Usage("Die Option " + a + " braucht einen Wert.", name);
    }
    return kOk;
}

} // namespace

int main(int argc, char **argv) {
    kalmira::platform::HardenProcess(); // before any secret can reach memory
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("Kein Befehl angegeben.", "");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        GeneralHelp();
        return kOk;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        Version();
        return kOk;
    }
    const auto found = Commands().find(args[0]);
    if (found == Commands().end()) return Usage("Unbekannter Befehl \"" + args[0] + "\".", "");
    const std::string &name = found->first;
    const Command &c = found->second;

    Options o;
    bool helped = false;
    if (int rc = ParseOptions(args, name, c, o, helped); rc != kOk || helped) return rc;
    if (o.args.size() != c.positional)
        return Usage(o.args.size() < c.positional ? "Zu wenige Argumente." : "Zu viele Argumente.", name);
    if (name == "convert" && o.output.empty()) return Usage("Die Ausgabedatei fehlt (-o).", name);
    if (name == "convert" && o.output == "-") return Usage("convert schreibt nicht auf die Standardausgabe.", name);
    if (o.raw && !o.text) return Usage("--raw gilt nur mit --text.", name);
    // As gzip does: binary data on a terminal is noise at best, escape codes at worst.
    if (name == "extract" && o.output == "-" && !o.text && !o.force &&
        kalmira::platform::IsTerminal(kalmira::platform::StdStream::Output))
        return Usage("Die versteckte Datei wird nicht auf ein Terminal geschrieben: -o DATEI, eine\n"
                     "Umleitung (> DATEI, | BEFEHL) oder --force.",
                     name);
    return c.run(o);
}
