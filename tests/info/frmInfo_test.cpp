#include "info/frmInfo.h"
#include "info/register.h"

#include "fakes_ui.h"
#include "shell/qt_services.h"

#include <QtTest>

using namespace kalmira;
using namespace kalmira::info;

namespace {
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
            // A click on a topic link scrolls the section's entry to the top.
            ShowAndWait(w);
            for (const Topic &topic : Topics(p)) {
                QTest::mouseClick(w.Label2[topic.index], Qt::LeftButton);
                QCOMPARE(w.topEntry(), topic.entry);
            }
        }
    }

    void helpButtonsOpenTheWindowAtTheirSection() {
        test::TestServices b(Program::B);
        RegisterWindows(b.services);
        ShowHideHelp(b.services);
        auto *info = qobject_cast<FrmInfo *>(b.registry.existing("frmInfo"));
        QVERIFY(info && QTest::qWaitForWindowExposed(info));
        QCOMPARE(info->topEntry(), kHideHelpEntryB);
        ShowExtractHelp(b.services); // already open: scrolls in place
        QVERIFY(b.registry.existing("frmInfo") == info && info->topEntry() == kExtractHelpEntryB);

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
        QVERIFY(info && QTest::qWaitForWindowExposed(info) && info->topEntry() == kExtractHelpEntryA);
        a.registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(FrmInfoTest)
#include "frmInfo_test.moc"
