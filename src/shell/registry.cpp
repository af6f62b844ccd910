#include "shell/registry.h"

#include <QDialog>

namespace kalmira {

void WindowRegistry::registerFactory(const QString &name, const Factory &factory) { factories_.insert(name, factory); }

bool WindowRegistry::knows(const QString &name) const { return factories_.contains(name); }

QWidget *WindowRegistry::existing(const QString &name) const {
    auto it = instances_.constFind(name);
    return it == instances_.constEnd() ? nullptr : it->data();
}

QWidget *WindowRegistry::window(const QString &name) {
    if (QWidget *w = existing(name)) return w;
    auto f = factories_.constFind(name);
    if (f == factories_.constEnd() || !*f) return nullptr;
    QWidget *w = (*f)();
    if (!w) return nullptr;
    if (w->objectName().isEmpty()) w->setObjectName(name);
    instances_.insert(name, w);
    return w;
}

bool WindowRegistry::show(const QString &name) {
    QWidget *w = window(name);
    if (!w) return false;
    w->show();
    w->raise();
    w->activateWindow();
    return true;
}

bool WindowRegistry::showModal(const QString &name) {
    QWidget *w = window(name);
    if (!w) return false;
    if (auto *d = qobject_cast<QDialog *>(w)) {
        d->exec();
    } else {
        w->setWindowModality(Qt::ApplicationModal);
        w->show();
    }
    return true;
}

void WindowRegistry::hide(const QString &name) {
    if (QWidget *w = existing(name)) w->hide();
}

void WindowRegistry::unload(const QString &name) {
    auto it = instances_.find(name);
    if (it == instances_.end()) return;
    QPointer<QWidget> w = *it;
    instances_.erase(it);
    if (w) {
        // Later: unload is often called from the window's own handlers.
        w->hide();
        w->deleteLater();
    }
}

void WindowRegistry::unloadAll() {
    const auto names = instances_.keys();
    for (const QString &n : names) unload(n);
}

} // namespace kalmira
