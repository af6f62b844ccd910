// The sub-commands of `kalmira`. Each returns the process exit code.
#pragma once

#include "carrier/access.h"
#include "carrier/classify.h"
#include "carrier/payload.h"
#include "carrier/stealth_layout.h"
#include "platform/file_lock.h"
#include "shell/ui.h"

#include <optional>
#include <string>
#include <vector>

namespace kalmira::cli {

enum Exit : int {
    kOk = 0,
    kUsage = 1,
    kNoPayload = 2,
    kWrongPassword = 3,
    kUnsuitable = 4, // carrier too small or unsuitable, file too large or unsuitable
    kIoError = 5,
    kDamaged = 6,
};

struct Options {
    std::vector<std::string> args; // positional arguments after the command
    payload::Mode cipher = payload::Mode::Aes;
    bool cipherGiven = false; // --cipher was on the command line
    bool stealth = false;
    bool backup = false;
    bool text = false;
    bool raw = false;
    bool force = false;
    bool intensiv = false;
    bool optimise = true;
    int reduceBy = 1;   // convert --verkleinern
    std::string output; // -o; "-" is standard output
    std::string passwordFile;
};

// "AES-256", "RC4-256", "unverschlüsselt".
const char *CipherName(payload::Mode mode);

int Hide(const Options &o);
int Extract(const Options &o);
int Info(const Options &o);
int CapacityCommand(const Options &o);
int Wipe(const Options &o);
int Convert(const Options &o);

// The stealth format ("Tarnformat", stealth_commands.cpp). ExtractStealth
// runs for a carrier without a classic payload.
int HideStealth(const Options &o);
int ExtractStealth(const Options &o);
int CapacityStealth(const Options &o);
// What `info` can say of a carrier without a classic payload: "nein" only
// when it cannot hold the stealth format either.
void PrintNoClassicPayload(const std::string &carrier, const carrier::Layout &layout);

// Where `extract` writes: -o as given, a folder gets the stored name.
std::string Destination(const Options &o, const std::string &storedName);
// Writes a message to `dest` (or standard output): UTF-8 unless --raw.
int WriteMessage(const Options &o, const std::string &ansi, const std::string &dest);
// The message file as KalmiraA holds a message: one ANSI byte per character.
// nullopt (with `rc` set) after the complaint.
std::optional<std::string> MessageText(const std::string &path, int &rc);

// KalmiraA's largest message.
constexpr std::int64_t kMaxMessageSize = kMaxMessageBytes;

// The prologue every carrier command shares: the carrier must exist and be a
// ".bmp" starting with "BM" or a ".wav" of RIFF form "WAVE", as the windows
// accept them, or a ".png" / ".flac" with its signature (stealth format only:
// see RefuseStealthOnly); with `library`, the compression library must be there.
// kOk, or the exit code after the complaint.
int CheckCarrier(const std::string &path, bool library = false);
// The classic runs' refusal of a PNG or FLAC carrier, naming --stealth.
int RefuseStealthOnly(const std::string &carrier);
// `hide`'s prologue: the file to hide exists, the carrier passes CheckCarrier,
// and they are not the same file.
int CheckHideFiles(const std::string &carrier, const std::string &file, bool library);

// Every carrier command's first step, for the classic and the stealth runs:
// takes `lock` (exclusive to write, shared to read), rolls an interrupted
// hide back and says so once, refuses what is no file, not writable or busy.
// kOk, or the exit code (kIoError) after the complaint.
int TakeCarrier(const std::string &carrier, bool write, platform::FileLock &lock);
// The complaints of TakeCarrier for an opening already made.
int SayOpening(const carrier::CarrierOpening &opening, const std::string &carrier);
// CheckCarrier's complaint for a carrier of `kind`; kOk for a usable one.
int RefuseCarrier(carrier::CarrierKind kind, const std::string &carrier);

} // namespace kalmira::cli
