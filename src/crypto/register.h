#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace kalmira {
struct Services;
}

namespace kalmira::crypto {
// Makes this subsystem's windows known to the program's window registry.
void RegisterWindows(Services &services);

// Run a fresh password dialog modally over owner and return the padded
// password (16 characters, each one ANSI byte; feed it to the digest and,
// followed by KeySuffix(), to the ciphers).
//
// Hide side (frmPasV): nullopt when the user cancelled or closed the dialog.
// The dialog also writes its result into frmV's hidden "Text3" (empty when
// cancelled) if that window exists.
std::optional<QString> AskHidePassword(Services &services, QWidget *owner = nullptr);

// Extract side (frmPas): nullopt when the dialog was closed without OK; an
// empty entry gives the padding itself. On OK the dialog also writes into
// frmEx's hidden "Text1" if that window exists; closing leaves it unchanged.
std::optional<QString> AskExtractPassword(Services &services, QWidget *owner = nullptr);

// The same dialogs giving the password as typed, without padding: the
// stealth format takes the password itself (1 to 16 characters).
std::optional<QString> AskHidePasswordAsTyped(Services &services, QWidget *owner = nullptr);
// `question` replaces the extract dialog's own when given.
std::optional<QString> AskExtractPasswordAsTyped(Services &services, QWidget *owner = nullptr,
                                                 const QString &question = {});

// The padding rule both dialogs use, for a password of at most 16 characters.
QString PaddedPassword(const QString &password);
} // namespace kalmira::crypto
