#include "hide/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::hide {

void RegisterWindows(Services &) {}

} // namespace kalmira::hide
