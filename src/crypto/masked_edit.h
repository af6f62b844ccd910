// A line edit for passwords that shows one "*" per character and keeps the
// characters really typed in a hidden buffer. Only keys it understands change
// the buffer; every other way of putting text into the field (paste, drop,
// cut, undo, middle click, the edit menu) is blocked so that display and
// buffer can never drift apart.
#pragma once

#include <QLineEdit>
#include <QString>

namespace kalmira::crypto {

class MaskedEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kMaxChars = 16;

    explicit MaskedEdit(QWidget *parent = nullptr);

    const QString &buffer() const { return buffer_; }
    // Empties buffer and display.
    void clearAll();

    // True for a character that may go into a password: code 32 or above and
    // exactly one byte in the ANSI code page, so the padded password turns
    // into its bytes without loss.
    static bool Acceptable(QChar c);

signals:
    // Buffer and display have changed (always in step when this fires).
    void edited();
    void enterPressed();
    void pasteAttempted();
    void menuRequested();
    void focusEntered();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void typeChar(QChar c);
    void removeRange(int from, int count);
    void sync(int cursor);
    static bool IsNavigation(QKeyEvent *event);

    QString buffer_;
};

} // namespace kalmira::crypto
