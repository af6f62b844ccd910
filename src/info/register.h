#pragma once

#include "info/help_text.h"

namespace kalmira {
struct Services;
}

namespace kalmira::info {
// Makes this subsystem's windows known to the program's window registry.
void RegisterWindows(Services &services);

// Shows the info window "frmInfo" with the given list entry as its top line.
void ShowHelp(Services &services, int topEntry);

// The help buttons of the hide and extract windows: their sections of the
// running program (HideHelpEntry / ExtractHelpEntry).
void ShowHideHelp(Services &services);
void ShowExtractHelp(Services &services);
} // namespace kalmira::info
