#include "inspect/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::inspect {

void RegisterWindows(Services &) {}

} // namespace kalmira::inspect
