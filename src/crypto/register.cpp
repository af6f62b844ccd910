#include "crypto/register.h"

#include "crypto/frmPas.h"
#include "crypto/frmPasV.h"
#include "crypto/password_common.h"
#include "shell/registry.h"
#include "shell/services.h"

#include <memory>

namespace kalmira::crypto {

void RegisterWindows(Services &services) {
    services.registry->registerFactory("frmPasV", [&services] { return new FrmPasV(services); });
    services.registry->registerFactory("frmPas", [&services] { return new FrmPas(services); });
}

namespace {
// A new dialog for every request, reachable by its name while it is open.
template <class Dialog>
std::optional<QString> Ask(Services &services, const QString &name, QWidget *owner, bool typed = false,
                           const QString &question = {}) {
    std::unique_ptr<Dialog> own;
    Dialog *dialog = nullptr;
    if (services.registry) {
        services.registry->unload(name);
        dialog = qobject_cast<Dialog *>(services.registry->window(name));
    }
    if (!dialog) {
        own = std::make_unique<Dialog>(services);
        dialog = own.get();
    }
    if (owner) dialog->setParent(owner, dialog->windowFlags());
    if constexpr (requires { dialog->setQuestion(question); }) {
        if (!question.isEmpty()) dialog->setQuestion(question);
    }
    dialog->exec();
    std::optional<QString> result = typed ? dialog->typed() : dialog->password();
    if (!own) services.registry->unload(name);
    return result;
}
} // namespace

std::optional<QString> AskHidePassword(Services &services, QWidget *owner) {
    return Ask<FrmPasV>(services, "frmPasV", owner);
}

std::optional<QString> AskExtractPassword(Services &services, QWidget *owner) {
    return Ask<FrmPas>(services, "frmPas", owner);
}

std::optional<QString> AskHidePasswordAsTyped(Services &services, QWidget *owner) {
    return Ask<FrmPasV>(services, "frmPasV", owner, true);
}

std::optional<QString> AskExtractPasswordAsTyped(Services &services, QWidget *owner, const QString &question) {
    return Ask<FrmPas>(services, "frmPas", owner, true, question);
}

} // namespace kalmira::crypto
