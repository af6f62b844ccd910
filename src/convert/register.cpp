#include "convert/register.h"

#include "convert/frmConvert.h"
#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::convert {

void RegisterWindows(Services &services) {
    services.registry->registerFactory("frmConvert", [&services] { return new FrmConvert(services); });
}

void ShowConverter(Services &services, QWidget *owner) {
    auto *w = services.registry->get<FrmConvert>("frmConvert");
    if (!w) return;
    // Owned: stays above the hide window and goes with it.
    if (owner && w->parentWidget() != owner) w->setParent(owner, w->windowFlags() | Qt::Window);
    services.registry->show("frmConvert");
}

} // namespace kalmira::convert
