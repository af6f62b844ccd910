#pragma once

class QString;
class QWidget;

namespace kalmira {
struct Services;
}

namespace kalmira::shredder {
// Makes this subsystem's windows known to the program's window registry.
void RegisterWindows(Services &services);

// The hide windows' shredder button: creates frmWipe if needed, puts `path`
// into its file box, enables its destroy button when `path` is not empty and
// shows it without blocking, owned by `owner` (may be null).
void ShowShredder(Services &services, const QString &path, QWidget *owner = nullptr);
} // namespace kalmira::shredder
