#include "shell/window_parts.h"

#include "platform/platform.h"
#include "shell/helpers.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace kalmira {

// ---- help line -------------------------------------------------------------------

HelpLine::HelpLine(QWidget *parent) : QLabel(parent) {
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setWordWrap(true);
    setMargin(3);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFixedHeight(2 * fontMetrics().lineSpacing() + 10);
}

void HelpLine::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit clicked();
}

void HelpLine::mouseDoubleClickEvent(QMouseEvent *event) {
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

HelpTexts::HelpTexts(QWidget *window, HelpLine *line) : QObject(window), window_(window), line_(line) {}

void HelpTexts::add(QWidget *w, const QString &text) {
    texts_.insert(w, text);
    w->installEventFilter(this);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(w)) {
        viewports_.insert(area->viewport(), w);
        area->viewport()->installEventFilter(this);
    }
}

void HelpTexts::show(const QString &text) {
    if (line_->text() != text) line_->setText(text);
}

QWidget *HelpTexts::owner(QObject *watched) const {
    if (QWidget *w = viewports_.value(watched)) return w;
    auto *w = qobject_cast<QWidget *>(watched);
    return texts_.contains(w) ? w : nullptr;
}

bool HelpTexts::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if (type == QEvent::Enter || type == QEvent::MouseMove || type == QEvent::MouseButtonPress) {
        if (QWidget *w = owner(watched)) {
            const bool handled = onEnter && onEnter(w);
            if (!handled && type != QEvent::MouseButtonPress) {
                show(texts_.value(w));
                if (auto *edit = qobject_cast<QLineEdit *>(w)) edit->setToolTip(edit->text());
            }
        }
    }
    return false;
}

void HelpTexts::pointerAt(QPoint pos) {
    QWidget *w = window_->childAt(pos);
    while (w && w != window_ && !texts_.contains(w)) w = w->parentWidget();
    show(w && w != window_ ? texts_.value(w) : QString());
}

// ---- drops ----------------------------------------------------------------------------

namespace {
class DropFilter : public QObject {
public:
    DropFilter(QObject *parent, std::function<void(const QStringList &)> dropped)
        : QObject(parent), dropped_(std::move(dropped)) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        const auto type = event->type();
        if (type == QEvent::DragEnter || type == QEvent::DragMove) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (!drag->mimeData()->hasUrls()) return false;
            drag->acceptProposedAction();
            return true;
        }
        if (type != QEvent::Drop) return false;
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasUrls()) return false;
        QStringList paths;
        for (const QUrl &url : drop->mimeData()->urls())
            if (url.isLocalFile()) paths << QDir::toNativeSeparators(url.toLocalFile());
        drop->acceptProposedAction();
        if (!paths.isEmpty()) dropped_(paths);
        return true;
    }

private:
    std::function<void(const QStringList &)> dropped_;
};
} // namespace

void AcceptFileDrops(QWidget *target, std::function<void(const QStringList &)> dropped) {
    auto *filter = new DropFilter(target, std::move(dropped));
    target->setAcceptDrops(true);
    target->installEventFilter(filter);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(target)) {
        area->viewport()->setAcceptDrops(true);
        area->viewport()->installEventFilter(filter);
    }
}

// ---- placing and waiting ----------------------------------------------------------------

QString WithSeparator(QString folder) {
    if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\'))
        folder += QLatin1Char(platform::PathSeparator());
    return folder;
}

void CentreOnScreen(QWidget *window) {
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        window->move(g.x() + (g.width() - window->width()) / 2,
                     g.y() + std::max(0, (g.height() - window->height()) / 2));
    }
}

void FixSize(QWidget *window, QLayout *root, int width) {
    // Room a window manager's title bar and border take around the window.
    constexpr int kFrame = 40;
    root->activate();
    int height = root->hasHeightForWidth() ? root->totalHeightForWidth(width) : root->totalSizeHint().height();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        width = std::min(width, g.width());
        height = std::min(height, g.height() - kFrame);
    }
    window->setFixedSize(width, std::max(height, root->totalMinimumSize().height()));
}

void WaitFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

QString Thousands(long long value) { return QString::fromStdString(FormatThousands(value)); }

} // namespace kalmira
