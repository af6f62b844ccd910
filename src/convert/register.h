#pragma once

class QWidget;

namespace kalmira {
struct Services;
}

namespace kalmira::convert {
// Makes this subsystem's windows known to the program's window registry.
void RegisterWindows(Services &services);

// The hide windows' converter button: creates frmConvert if needed and shows
// it without blocking, owned by `owner` (may be null).
void ShowConverter(Services &services, QWidget *owner = nullptr);
} // namespace kalmira::convert
