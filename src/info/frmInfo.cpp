#include "info/frmInfo.h"

#include "info/help_text.h"
#include "platform/platform.h"
#include "shell/qt_services.h"
#include "shell/registry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>

namespace kalmira::info {

namespace {
const QColor kBlue(0x00, 0x00, 0xC0); // 0x00C00000 as 0x00BBGGRR
const QColor kGrey(0x80, 0x80, 0x80);
constexpr int kVisibleRows = 20; // fewer than the entries after the last topic

void SetTextColor(QWidget *w, const QColor &c) {
    QPalette p = w->palette();
    if (p.color(QPalette::WindowText) == c) return;
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}
} // namespace

// The topic links in their frame, as wide as the longest caption.
void FrmInfo::createTopics() {
    Frame1 = new QGroupBox("Hilfethemen", this);
    Frame1->setObjectName("Frame1");
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);
    SetTextColor(Frame1, kGrey);

    const auto &topics = Topics(s_.program);
    int y = 28;
    int frameWidth = 0;
    for (const Topic &t : topics) {
        auto *label = new QLabel(Q(t.caption), Frame1);
        label->setObjectName("Label2");
        label->setProperty("Index", t.index);
        QFont f = label->font();
        f.setUnderline(true);
        label->setFont(f);
        SetTextColor(label, kBlue);
        label->setCursor(Qt::PointingHandCursor);
        label->setMouseTracking(true);
        label->installEventFilter(this);
        label->adjustSize();
        label->move(16, y);
        y += 28;
        frameWidth = std::max(frameWidth, label->width() + 32);
        Label2[t.index] = label;
    }
    Frame1->setGeometry(10, 10, std::max(frameWidth, 220), y + 8);
}

// The help text beside the topics, wide enough for its longest line.
void FrmInfo::createHelpList() {
    List1 = new QListWidget(this);
    List1->setObjectName("List1");
    List1->setFont(QFont("Verdana", 8));
    List1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    int textWidth = 0;
    const QFontMetrics fm(List1->font());
    for (const std::string &line : HelpText(s_.program)) {
        const QString text = Q(line);
        List1->addItem(text);
        textWidth = std::max(textWidth, fm.horizontalAdvance(text));
    }
    const int rowHeight = std::max(List1->sizeHintForRow(0), fm.height());
    const int listWidth = textWidth + 2 * List1->frameWidth() + List1->verticalScrollBar()->sizeHint().width() + 12;
    const int listHeight = kVisibleRows * rowHeight + 2 * List1->frameWidth();
    const int listLeft = Frame1->geometry().right() + 11;
    List1->setGeometry(listLeft, 10, listWidth, listHeight);
}

FrmInfo::FrmInfo(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("frmInfo");
    setWindowTitle(Q(InfoCaption(s_.program)));
    setMouseTracking(true);

    createTopics();
    createHelpList();

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setProperty("Index", 1);
    Label1->setText(Q(VersionLine(platform::ExecutableName())));
    Label1->setGeometry(10, Frame1->geometry().bottom() + 12, Frame1->width(), 40);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Command1 = new QPushButton("OK", this);
    Command1->setObjectName("Command1");
    const int bottom = std::max(List1->geometry().bottom(), Label1->geometry().bottom());
    Command1->setGeometry(10, bottom - 30, 100, 30);
    connect(Command1, &QPushButton::clicked, this, [this] { close(); });

    setFixedSize(List1->geometry().right() + 11, bottom + 11);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
}

void FrmInfo::setTopEntry(int entry) {
    top_ = entry;
    if (isVisible()) applyTop();
}

int FrmInfo::topEntry() const {
    const QModelIndex index = List1->indexAt(QPoint(2, 2));
    return index.isValid() ? index.row() : List1->verticalScrollBar()->value();
}

void FrmInfo::applyTop() {
    // Ranges are only known once the list has laid out its items.
    List1->doItemsLayout();
    List1->verticalScrollBar()->setValue(top_);
}

void FrmInfo::hoverTopic(int index) {
    for (int i = 0; i < 4; ++i) SetTextColor(Label2[i], i == index ? kGrey : kBlue);
}

bool FrmInfo::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Frame1) {
        if (event->type() == QEvent::MouseMove) hoverTopic(-1);
        return false;
    }
    auto *label = qobject_cast<QLabel *>(watched);
    if (!label || label->parent() != Frame1) return QWidget::eventFilter(watched, event);
    const int index = label->property("Index").toInt();
    switch (event->type()) {
    case QEvent::MouseMove:
        // The shredder (4) and stealth (5) links take no part in the hover colours. Consumed,
        // or the frame beneath would turn the link blue again.
        if (index < 4) hoverTopic(index);
        return true;
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && label->rect().contains(me->position().toPoint()))
            setTopEntry(TopicEntry(s_.program, index));
        return true;
    }
    default: return false;
    }
}

void FrmInfo::mouseMoveEvent(QMouseEvent *event) {
    hoverTopic(-1);
    QWidget::mouseMoveEvent(event);
}

void FrmInfo::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    applyTop();
}

void FrmInfo::closeEvent(QCloseEvent *event) {
    event->accept();
    // OK and the close box unload the window: the next opening starts afresh.
    if (s_.registry && s_.registry->existing("frmInfo") == this) s_.registry->unload("frmInfo");
}

} // namespace kalmira::info
