#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace kalmira::inspect {
// left = (screen width - window width) / 2, top likewise.
void CentreOnScreen(QWidget *window);

// A label for paths and names of any length: it wraps at blanks and never
// makes its window wider than the screen (a name without blanks that is
// wider than the window is cut at the window's edge).
void MakePathLabel(QLabel *label);

// A label with an object name, for the info windows' grids.
QLabel *NamedLabel(QWidget *parent, const char *name, const QString &text);
} // namespace kalmira::inspect
