#pragma once

class QWidget;

namespace kalmira::inspect {
// left = (screen width - window width) / 2, top likewise.
void CentreOnScreen(QWidget *window);
} // namespace kalmira::inspect
