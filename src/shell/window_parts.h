// Pieces both main windows share: the help line under the window, file drops,
// placing on the screen and the pause that holds a finished caption.
#pragma once

#include <QHash>
#include <QLabel>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLayout;
class QLineEdit;

namespace kalmira {

// The help line: a click shows the elapsed time label, a double click hides it.
class HelpLine : public QLabel {
    Q_OBJECT
public:
    explicit HelpLine(QWidget *parent = nullptr);
signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// Shows a control's help text in the help line while the pointer is over it.
// Moves over the bare window (which the window passes on) clear the line.
class HelpTexts : public QObject {
    Q_OBJECT
public:
    HelpTexts(QWidget *window, HelpLine *line);
    // `text` is shown while the pointer is over `w` or one of its children
    // (a text box's viewport); a path box also shows its path as tool tip.
    void add(QWidget *w, const QString &text);
    // The text of the control under `pos` (window coordinates), "" for none.
    void pointerAt(QPoint pos);
    void show(const QString &text);
    // Called before the line changes for `w`; true when the hook handled it.
    std::function<bool(QWidget *w)> onEnter;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *owner(QObject *watched) const;
    QWidget *window_;
    HelpLine *line_;
    QHash<QWidget *, QString> texts_;
    QHash<QObject *, QWidget *> viewports_;
};

// Lets `target` (and a text box's viewport) take dropped local files; `dropped`
// receives their paths in native form.
void AcceptFileDrops(QWidget *target, std::function<void(const QStringList &)> dropped);

// Appends the folder separator unless the folder ends in one or is empty.
QString WithSeparator(QString folder);

// Centres the window on the screen it will show on.
void CentreOnScreen(QWidget *window);

// Fixes the window at `width` and the height its layout needs, shrunk where the
// layout allows so that the window with its frame fits on the available screen.
void FixSize(QWidget *window, QLayout *root, int width);

// Holds the interface for `seconds` on a timer: events are served, no core spins.
void WaitFor(double seconds);

// The thousands-separated German form of a count ("" for 0, like the pattern).
QString Thousands(long long value);

} // namespace kalmira
