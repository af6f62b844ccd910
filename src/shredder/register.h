#pragma once

namespace kalmira {
struct Services;
}

namespace kalmira::shredder {
// Makes this subsystem's windows known to the program's window registry.
void RegisterWindows(Services &services);
} // namespace kalmira::shredder
