// The sub-commands of `kalmira`. Each returns the process exit code.
#pragma once

#include "hide/payload.h"

#include <string>
#include <vector>

namespace kalmira::cli {

enum Exit : int {
    kOk = 0,
    kUsage = 1,
    kNoPayload = 2,
    kWrongPassword = 3,
    kUnsuitable = 4,   // carrier too small or unsuitable, file too large
    kIoError = 5,
    kDamaged = 6,
};

struct Options {
    std::vector<std::string> args;       // positional arguments after the command
    payload::Mode cipher = payload::Mode::Aes;
    bool backup = false;
    bool text = false;
    bool force = false;
    bool intensiv = false;
    bool optimise = true;
    std::string output;                  // -o
    std::string passwordFile;
};

int Hide(const Options &o);
int Extract(const Options &o);
int Info(const Options &o);
int CapacityCommand(const Options &o);
int Wipe(const Options &o);
int Convert(const Options &o);

// KalmiraA's largest message.
constexpr std::int64_t kMaxMessageSize = 65535;

// What a carrier path must be: ".bmp" starting with "BM", or ".wav" of
// RIFF form "WAVE", as the windows accept them. kOk, or the exit code after
// the complaint.
int CheckCarrier(const std::string &path);

// A stored name made safe to create in a folder: no folders, never "." or "..".
std::string SafeFileName(const std::string &storedName);

} // namespace kalmira::cli
