// One instance per window, created on first use and reachable by its name.
#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace kalmira {

class WindowRegistry {
public:
    using Factory = std::function<QWidget *()>;

    void registerFactory(const QString &name, const Factory &factory);
    bool knows(const QString &name) const;

    // Creates the window on first use; nullptr when no window of that name exists.
    QWidget *window(const QString &name);
    QWidget *existing(const QString &name) const;

    template <class T>
    T *get(const QString &name) {
        return qobject_cast<T *>(window(name));
    }

    // Shows (and raises) the window; false when it does not exist in this program.
    bool show(const QString &name);
    bool showModal(const QString &name);
    void hide(const QString &name);

    // Destroys the instance; the next use creates a fresh one.
    void unload(const QString &name);
    void unloadAll();

private:
    QHash<QString, Factory> factories_;
    QHash<QString, QPointer<QWidget>> instances_;
};

} // namespace kalmira
