// What the hide window tests share: a window with fake services, and the
// ways a user drops, moves and types.
#pragma once

#include "hide/frmV_file.h"
#include "hide/frmV_message.h"

#include "carriers.h"
#include "fakes_ui.h"
#include "platform/platform.h"
#include "run_fakes.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"

#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QtTest>

#include <deque>

namespace kalmira::test {

inline QString QS(const std::string &s) { return QString::fromStdString(s); }

// A window with fake services, instant pauses and scripted passwords.
template <class W>
struct Hide {
    Hide() : t(std::is_same_v<W, hide::FrmVMessage> ? Program::A : Program::B), w(t.services) {
        w.pauseFor = [this](double s) { pauses.push_back(s); };
        w.askPassword = [this]() -> std::optional<QString> {
            ++asked;
            if (passwords.empty()) return std::nullopt;
            QString p = passwords.front();
            passwords.pop_front();
            return p;
        };
    }
    template <class Bytes>
    QString make(const std::string &name, const Bytes &bytes) {
        test::WriteAll(dir.file(name), bytes);
        return QS(dir.file(name));
    }
    void open(const QString &path) { t.dialogs.openAnswers.push_back(path); }

    test::TestServices t;
    test::TempDir dir;
    W w;
    std::vector<double> pauses;
    std::deque<QString> passwords;
    int asked = 0;
};
using HideB = Hide<hide::FrmVFile>;
using HideA = Hide<hide::FrmVMessage>;
template <class H>
std::string Said(const H &h) {
    return h.t.messages.shown.back().title + ": " + h.t.messages.last();
}

inline void Drop(QWidget *target, const QString &path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    // Qt delivers a drop only where the drag's entry was accepted.
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

inline void MoveTo(QWidget *window, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, window->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &move);
}

inline void Enter(QWidget *w) {
    QEvent e(QEvent::Enter);
    QApplication::sendEvent(w, &e);
}

// Key presses with the text they carry (QTest::keyClicks takes ASCII only).
inline void Type(QWidget *w, const QString &text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

inline std::vector<std::uint8_t> TextBytes(std::size_t n) {
    std::string s;
    while (s.size() < n) s += "Der Bericht wird morgen verschickt. ";
    s.resize(n);
    return {s.begin(), s.end()};
}

// A padded password as the dialog hands it over (each character one ANSI byte).
inline QString PaddedQ(const std::string &ansi) { return QS(platform::Utf8FromAnsi(test::Padded(ansi))); }

} // namespace kalmira::test
