#include "hide/register.h"

#include "hide/frmV.h"
#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::hide {

void RegisterWindows(Services &services) {
    // One class for both programs; services.program picks the variant.
    services.registry->registerFactory("frmV", [&services] { return new FrmV(services); });
}

} // namespace kalmira::hide
