// What the programs do with their arguments before any window opens:
// --help and --version print and end the run; anything else is the carrier
// path of an extraction (the start window's business).
#pragma once

#include "shell/ui.h"

#include <string>
#include <vector>

namespace kalmira {

enum class StartAction {
    Windows,
    PrintHelp,
    PrintVersion
};

// `args` without the program name.
StartAction StartActionFor(const std::vector<std::string> &args);

std::string ProgramHelpText(Program program);
// "KalmiraB 1.4.0" and the licence line.
std::string ProgramVersionText(Program program);

} // namespace kalmira
