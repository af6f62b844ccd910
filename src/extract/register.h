#pragma once

namespace kalmira {
struct Services;
}

namespace kalmira::extract {
// Makes this subsystem's windows known to the program's window registry:
// "frmEx", the extract window of the running program (services.program).
void RegisterWindows(Services &services);
} // namespace kalmira::extract
