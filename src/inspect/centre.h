#pragma once

class QLabel;
class QWidget;

namespace kalmira::inspect {
// left = (screen width - window width) / 2, top likewise.
void CentreOnScreen(QWidget *window);

// A label for paths and names of any length: it wraps at blanks and never
// makes its window wider than the screen (a name without blanks that is
// wider than the window is cut at the window's edge).
void MakePathLabel(QLabel *label);
} // namespace kalmira::inspect
