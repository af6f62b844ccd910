// Pieces both password dialogs share: padding of the typed buffer, the
// popup menu that stands in for the edit menu, the blinking focus marker and
// the dialog background.
#pragma once

#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QString>

class QDialog;
class QTimer;

namespace kalmira {
struct Services;
}

namespace kalmira::crypto {

class MaskedEdit;

// Background colour and a fixed size.
void StyleDialog(QDialog *dialog, int width, int height);

// The font of the password fields.
QFont SystemFont();

// Top-left corner that centres a window of this size on the screen.
QPoint CentredOnScreen(const QSize &size);

// Popup menu "test" with its single, inert entry "sorry :-)".
QMenu *MakeTestMenu(QWidget *parent);

// Shows the menu at the centre of the field unless it is open already (a
// right click asks twice: once on the press, once as a context menu event).
void PopUpAt(QMenu *menu, QWidget *field);

// Small arrow beside a field; the returned timer toggles its visibility.
QLabel *MakeFocusMarker(QWidget *parent, QTimer **blinkTimer);

// Writes into a line edit of another window (by registry name and object
// name) when that window and box exist; does nothing otherwise.
void WriteInto(Services &services, const char *window, const char *box, const QString &text);

} // namespace kalmira::crypto
