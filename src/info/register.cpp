#include "info/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::info {

void RegisterWindows(Services &) {}

} // namespace kalmira::info
