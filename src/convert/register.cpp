#include "convert/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::convert {

void RegisterWindows(Services &) {}

} // namespace kalmira::convert
