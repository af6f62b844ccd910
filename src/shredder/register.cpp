#include "shredder/register.h"

#include "shell/registry.h"
#include "shell/services.h"
#include "shredder/frmShredderInfo.h"
#include "shredder/frmWipe.h"

namespace kalmira::shredder {

void RegisterWindows(Services &services) {
    services.registry->registerFactory("frmWipe", [&services] { return new FrmWipe(services); });
    services.registry->registerFactory("frmShredderInfo", [&services] { return new FrmShredderInfo(services); });
}

void ShowShredder(Services &services, const QString &path, QWidget *owner) {
    auto *w = services.registry->get<FrmWipe>("frmWipe");
    if (!w) return;
    // Owned: stays above the hide window and goes with it.
    if (owner && w->parentWidget() != owner) w->setParent(owner, w->windowFlags() | Qt::Window);
    w->Fname->setText(path);
    if (!path.isEmpty()) w->Command2->setEnabled(true);
    services.registry->show("frmWipe");
}

} // namespace kalmira::shredder
