#include "info/frmInfo.h"
#include "info/register.h"

#include "fakes_ui.h"
#include "shell/qt_services.h"

#include <QMouseEvent>
#include <QRegularExpression>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::info;

namespace {
QColor TextColor(const QWidget *w) { return w->palette().color(QPalette::WindowText); }

void MoveOver(QWidget *w) {
    const QPointF p(2, 2);
    QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

QLabel *TopicLabel(FrmInfo &w, const QString &caption) {
    for (QLabel *l : w.Label2)
        if (l->text() == caption) return l;
    return nullptr;
}

void ShowAndWait(QWidget &w) {
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}
} // namespace

class FrmInfoTest : public QObject {
    Q_OBJECT
private slots:
    void listAndTopicLinksOfBothPrograms() {
        for (Program p : {Program::B, Program::A}) {
            test::TestServices t(p);
            FrmInfo w(t.services);
            const auto &text = HelpText(p);
            QCOMPARE(w.List1->count(), int(text.size()));
            QCOMPARE(w.List1->item(1)->text(), Q(text[1]));
            QVERIFY(QRegularExpression("^\\S+ - Version: \\d+\\.\\d+\\.\\d+$").match(w.Label1->text()).hasMatch());
            // Topic links from the top of the frame down, blue and underlined;
            // a click scrolls the section's entry to the top.
            ShowAndWait(w);
            int lastY = -1;
            for (const Topic &topic : Topics(p)) {
                QLabel *label = w.Label2[topic.index];
                QCOMPARE(label->text(), Q(topic.caption));
                QVERIFY(label->font().underline() && TextColor(label) == TextColor(w.Label2[0]) && label->y() > lastY);
                lastY = label->y();
                QTest::mouseClick(label, Qt::LeftButton);
                QCOMPARE(w.topEntry(), topic.entry);
            }
            QTest::mouseClick(TopicLabel(w, "Was ist Steganographie?"), Qt::LeftButton);
            QCOMPARE(w.topEntry(), 0);
        }
    }

    void helpButtonsOpenTheWindowAtTheirSection() {
        test::TestServices b(Program::B);
        RegisterWindows(b.services);
        ShowHideHelp(b.services);
        auto *info = qobject_cast<FrmInfo *>(b.registry.existing("frmInfo"));
        QVERIFY(info && QTest::qWaitForWindowExposed(info));
        QCOMPARE(info->topEntry(), kHideHelpEntryB);
        QVERIFY(info->List1->item(kHideHelpEntryB + 1)->text().contains("VERSTECKEN EINER DATEI"));
        ShowExtractHelp(b.services); // already open: scrolls in place
        QCOMPARE(b.registry.existing("frmInfo"), info);
        QCOMPARE(info->topEntry(), kExtractHelpEntryB);

        // OK unloads the window; the next opening is a fresh one.
        QPointer<QWidget> old = info;
        info->Command1->click();
        QVERIFY(!b.registry.existing("frmInfo"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());

        test::TestServices a(Program::A);
        RegisterWindows(a.services);
        ShowExtractHelp(a.services);
        info = qobject_cast<FrmInfo *>(a.registry.existing("frmInfo"));
        QVERIFY(info && QTest::qWaitForWindowExposed(info));
        QCOMPARE(info->topEntry(), kExtractHelpEntryA);
        QVERIFY(info->List1->item(kExtractHelpEntryA + 1)->text().contains("EXTRAHIEREN EINER BOTSCHAFT"));
        a.registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void hoverChangesOnlyTheLinkUnderTheMouse() {
        test::TestServices t;
        FrmInfo w(t.services);
        ShowAndWait(w);
        // Mouse over, then the one changed link (-1: none); the shredder link (4) takes no part.
        const QColor link = TextColor(w.Label2[0]);
        const std::pair<QWidget *, int> steps[] = {{w.Label2[1], 1}, {w.Label2[4], 1}, {w.Label2[3], 3}, {w.Frame1, -1}};
        for (auto [over, lit] : steps) {
            MoveOver(over);
            for (int i = 0; i < 5; ++i) QCOMPARE(TextColor(w.Label2[i]) == link, i != lit);
        }
    }
};

QTEST_MAIN(FrmInfoTest)
#include "frmInfo_test.moc"
