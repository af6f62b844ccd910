#include "extract/register.h"

#include "extract/frmEx.h"
#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::extract {

void RegisterWindows(Services &services) {
    services.registry->registerFactory("frmEx", [&services] { return MakeFrmEx(services); });
}

} // namespace kalmira::extract
