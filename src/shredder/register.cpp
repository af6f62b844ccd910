#include "shredder/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::shredder {

void RegisterWindows(Services &) {}

} // namespace kalmira::shredder
