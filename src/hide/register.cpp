#include "hide/register.h"

#include "hide/frmV.h"
#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::hide {

void RegisterWindows(Services &services) {
    // The variant of the running program (services.program).
    services.registry->registerFactory("frmV", [&services] { return MakeFrmV(services); });
}

} // namespace kalmira::hide
