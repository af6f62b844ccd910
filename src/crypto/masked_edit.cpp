#include "crypto/masked_edit.h"

#include "platform/platform.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kalmira::crypto {

MaskedEdit::MaskedEdit(QWidget *parent) : QLineEdit(parent) {
    setMaxLength(kMaxChars);
    setAcceptDrops(false);
    setDragEnabled(false);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

void MaskedEdit::clearAll() {
    buffer_.clear();
    sync(0);
}

bool MaskedEdit::Acceptable(QChar c) {
    if (c.unicode() < 32 || c.unicode() == 127 || c.isSurrogate()) return false;
    const std::string ansi = platform::AnsiFromUtf8(QString(c).toStdString());
    return ansi.size() == 1 && (ansi[0] != '?' || c == u'?');
}

bool MaskedEdit::IsNavigation(QKeyEvent *e) {
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End: return !(e->modifiers() & Qt::AltModifier);
    default: return e->matches(QKeySequence::SelectAll);
    }
}

void MaskedEdit::keyPressEvent(QKeyEvent *e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const int key = e->key();

    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit enterPressed();
        return;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
        emit menuRequested();
        return;
    }
    if (key == Qt::Key_V && mods == Qt::ControlModifier) {
        emit pasteAttempted();
        return;
    }
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && mods == Qt::NoModifier) {
        if (hasSelectedText()) {
            removeRange(selectionStart(), selectedText().size());
        } else if (key == Qt::Key_Backspace) {
            if (cursorPosition() > 0) removeRange(cursorPosition() - 1, 1);
        } else if (cursorPosition() < buffer_.size()) {
            removeRange(cursorPosition(), 1);
        }
        return;
    }
    if (IsNavigation(e)) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (key == Qt::Key_Escape || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        e->ignore(); // the dialog's business
        return;
    }
    // Ctrl alone is an editing command; Ctrl+Alt is AltGr on some systems.
    const bool command = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    if (!command) {
        for (QChar c : e->text()) typeChar(c);
    }
    // Anything else (Shift+Insert, Ctrl+X, Ctrl+Z, Shift+Delete, ...) is swallowed.
}

void MaskedEdit::inputMethodEvent(QInputMethodEvent *e) {
    // Composed characters (dead keys) arrive here; preedit text is never shown.
    for (QChar c : e->commitString()) typeChar(c);
    e->accept();
}

void MaskedEdit::typeChar(QChar c) {
    if (!Acceptable(c)) return;
    int start = cursorPosition();
    int len = 0;
    if (hasSelectedText()) {
        start = selectionStart();
        len = selectedText().size();
    } else if (buffer_.size() >= kMaxChars) {
        return;
    }
    buffer_ = buffer_.left(start) + c + buffer_.mid(start + len);
    sync(start + 1);
}

void MaskedEdit::removeRange(int from, int count) {
    buffer_.remove(from, count);
    sync(from);
}

void MaskedEdit::sync(int cursor) {
    setText(QString(buffer_.size(), u'*'));
    setCursorPosition(cursor);
    emit edited();
}

void MaskedEdit::contextMenuEvent(QContextMenuEvent *e) {
    e->accept();
    emit menuRequested();
}

void MaskedEdit::mousePressEvent(QMouseEvent *e) {
    if (e->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        emit menuRequested();
        return;
    }
    if (e->button() == Qt::MiddleButton) return; // selection paste on X11
    QLineEdit::mousePressEvent(e);
}

void MaskedEdit::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::MiddleButton || e->button() == Qt::RightButton) return;
    QLineEdit::mouseReleaseEvent(e);
}

void MaskedEdit::mouseDoubleClickEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    QLineEdit::mouseDoubleClickEvent(e);
}

void MaskedEdit::focusInEvent(QFocusEvent *e) {
    QLineEdit::focusInEvent(e);
    emit focusEntered();
}

} // namespace kalmira::crypto
