#include "extract/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::extract {

void RegisterWindows(Services &) {}

} // namespace kalmira::extract
