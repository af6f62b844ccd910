// The few ways engines and windows talk to the user, as interfaces so that
// tests can answer them without modal dialogs. Texts are UTF-8.
#pragma once

#include <string>

namespace kalmira {

enum class Icon {
    None,
    Critical,
    Question,
    Exclamation,
    Information
};
enum class Buttons {
    Ok,
    OkCancel,
    YesNo,
    YesNoDefaultNo,
    YesNoCancel,
    RetryCancel
};
enum class Answer {
    Ok,
    Cancel,
    Yes,
    No,
    Retry
};

class Messages {
public:
    virtual ~Messages() = default;
    virtual Answer show(Icon icon, const std::string &title, const std::string &text,
                        Buttons buttons = Buttons::Ok) = 0;
};

// Lets the interface repaint and react during long work on the UI thread.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

class NullEventPump : public EventPump {
public:
    void processEvents() override {}
};

// What a window or the tool tells the user once a run has ended.
struct Notice {
    Icon icon = Icon::None;
    std::string title;
    std::string text;
};

// A title-bar text a window shows once a run has ended, after holding the
// one before for `pauseBefore` seconds.
struct TimedCaption {
    double pauseBefore = 0;
    std::string caption;
};

// Which of the two programs is running; they share all code but a few windows.
enum class Program {
    A,
    B
};

inline const char *ProgramName(Program p) { return p == Program::A ? "KalmiraA" : "KalmiraB"; }

// KalmiraA's limit for a message in bytes; on the older Windows family the
// text box held half.
inline constexpr int kMaxMessageBytes = 65535;
inline constexpr int kMaxMessageBytesOldWindows = 32767;

} // namespace kalmira
