#include "info/register.h"

#include "info/frmInfo.h"
#include "shell/registry.h"
#include "shell/services.h"

namespace kalmira::info {

void RegisterWindows(Services &services) {
    services.registry->registerFactory("frmInfo", [&services] { return new FrmInfo(services); });
}

void ShowHelp(Services &services, int topEntry) {
    auto *info = services.registry->get<FrmInfo>("frmInfo");
    if (!info) return;
    info->setTopEntry(topEntry);
    services.registry->show("frmInfo");
}

void ShowHideHelp(Services &services) { ShowHelp(services, HideHelpEntry(services.program)); }

void ShowExtractHelp(Services &services) { ShowHelp(services, ExtractHelpEntry(services.program)); }

} // namespace kalmira::info
