// How the hide and extract runs report to the window that started them.
// The engines know nothing of widgets; windows (and tests) implement this.
// A run's final word is its result; these interfaces carry only what
// happens while it goes on.
#pragma once

#include "shell/ui.h"

#include <optional>
#include <string>

namespace kalmira {

class RunView : public EventPump {
public:
    // Title-bar text of the running window (progress, "FERTIG!").
    virtual void setCaption(const std::string &caption) = 0;
    // Hourglass on/off.
    virtual void setBusy(bool busy) = 0;
    // Holds a finished caption on screen; windows keep repainting meanwhile.
    virtual void pause(double seconds) = 0;
    // Repaints the window at once.
    virtual void repaint() {}
};

// Password windows, seen from the runs. Passwords are padded ANSI texts of 16
// characters.
class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    // What the extract window's password box holds after the dialog closed:
    // the padded password, or whatever was there before when it was closed
    // without confirming ("" at the first attempt).
    virtual std::string extractPassword() = 0;
    // The password just given was wrong; `attemptsLeft` more are allowed
    // (0: the program ends next).
    virtual void wrongPassword(int attemptsLeft) { (void)attemptsLeft; }
};

} // namespace kalmira
