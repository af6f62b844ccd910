#include "crypto/register.h"

#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::crypto {

void RegisterWindows(Services &) {}

} // namespace kalmira::crypto
