#include "crypto/frmPas.h"
#include "crypto/frmPasV.h"
#include "crypto/keys.h"
#include "crypto/register.h"

#include "fakes_ui.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::crypto;

namespace {
QString Padded(const QString &pw) { return pw + QString::fromStdString(PasswordPadding()).left(16 - pw.size()); }

// Stands in for the hide or extract window: just the hidden password box.
QLineEdit *AddTarget(test::TestServices &t, const char *window, const char *box) {
    t.registry.registerFactory(window, [box] {
        auto *w = new QWidget;
        (new QLineEdit(w))->setObjectName(box);
        return w;
    });
    return t.registry.window(window)->findChild<QLineEdit *>(box);
}

void Type(QWidget *w, const QString &text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}
void Keys(QWidget *w, std::initializer_list<Qt::Key> keys, Qt::KeyboardModifiers mod = Qt::NoModifier) {
    for (Qt::Key k : keys) QTest::keyClick(w, k, mod);
}
void ShowActive(QWidget &w) {
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

// Runs `act` on the modal dialog once it is up; closes any modal left over so
// a failing test cannot hang.
void WhenModal(std::function<void(QWidget *)> act, int triesLeft = 300) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        if (QWidget *w = QApplication::activeModalWidget()) {
            act(w);
            return;
        }
        if (triesLeft > 0) WhenModal(std::move(act), triesLeft - 1);
    });
    QTimer::singleShot(10000, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) d->done(0);
    });
}
} // namespace

class PasswordWindowsTest : public QObject {
    Q_OBJECT
private slots:
    // The stand-in windows and dialogs of a test die with it (nothing else
    // owns them; the leak checker of the sanitizer build would report them).
    void cleanup() {
        QList<QPointer<QWidget>> windows;
        for (QWidget *w : QApplication::topLevelWidgets()) windows << w;
        for (const QPointer<QWidget> &w : windows) delete w.data();
    }
    void passwordOfAtMostSixteenCharactersIsHandedOn() {
        test::TestServices t;
        QLineEdit *text3 = AddTarget(t, "frmV", "Text3");
        FrmPasV d(t.services);
        ShowActive(d);
        const QString pw = "Ab3 !xyZ0123456Q";
        Type(d.Text5, pw); // the 16th character moves the focus on
        QVERIFY(d.Text1->hasFocus());
        for (int pos : {0, 7, 16}) { // a 17th character is ignored wherever the cursor is ...
            d.Text5->setCursorPosition(pos);
            Type(d.Text5, "k");
            QCOMPARE(d.Text5->buffer(), pw);
        }
        d.Text5->setSelection(15, 1); // ... but replaces a selection
        Type(d.Text5, "R");
        Type(d.Text1, "Ab3 !xyZ0123456R");
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(text3->text(), QString("Ab3 !xyZ0123456R"));
        QVERIFY(!d.isVisible() && d.Text5->buffer().isEmpty() && d.Text1->buffer().isEmpty() &&
                t.messages.shown.empty());
    }

    void maskedFieldKeepsBufferAndDisplayInStepAndBlocksPasting() {
        test::TestServices t;
        FrmPasV d(t.services);
        ShowActive(d);
        MaskedEdit *f = d.Text5;
        Type(f, "abcdef");
        f->setSelection(1, 3); // "bcd"
        Type(f, "X");
        QVERIFY(f->buffer() == "aXef" && f->cursorPosition() == 2);
        Keys(f, {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Home, Qt::Key_Backspace});
        QCOMPARE(f->buffer(), QString("af"));
        QTest::keyClick(f, Qt::Key_Right, Qt::ShiftModifier);
        Keys(f, {Qt::Key_Delete, Qt::Key_Tab}); // Tab, like other control characters, is not stored
        QCOMPARE(f->buffer() + f->text(), QString("f*"));
        Keys(f, {Qt::Key_End, Qt::Key_Backspace});

        for (MaskedEdit *f : {d.Text5, d.Text1}) {
            Type(f, "ab");
            t.clipboard.setText("geheim");
            QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(t.clipboard.text().isEmpty());
            t.clipboard.setText("geheim");
            f->selectAll();
            QTest::keyClick(f, Qt::Key_Insert, Qt::ShiftModifier);
            Keys(f, {Qt::Key_X, Qt::Key_Z}, Qt::ControlModifier);
            QTest::keyClick(f, Qt::Key_Delete, Qt::ShiftModifier);
            QTest::mouseClick(f, Qt::MiddleButton);
            QCOMPARE(f->buffer() + f->text(), QString("ab**"));
            QVERIFY(!f->acceptDrops());
        }
        QCOMPARE(t.clipboard.clears, 2);
        // The context menu is replaced by the test menu.
        QTest::mouseClick(d.Text1, Qt::RightButton, {}, d.Text1->rect().center());
        QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(d.mnuTest));
        d.mnuTest->close();

        // Only characters with one Windows-1252 byte are taken.
        FrmPas p(t.services);
        Type(p.Text1, QString::fromUtf8("ä€Ω\u4e2d?"));
        QTest::keyClick(p.Text1, Qt::Key_Return);
        QCOMPARE(*p.password(), Padded(QString::fromUtf8("ä€?")));
    }

    void mismatchesAreReportedAndCancellingLeavesNoPassword() {
        test::TestServices t;
        QLineEdit *text3 = AddTarget(t, "frmV", "Text3");
        FrmPasV d(t.services);
        d.show();
        Type(d.Text5, "abc");
        Type(d.Text1, "ab");
        QVERIFY(t.messages.shown.empty() && !d.Command1->isEnabled());
        Type(d.Text1, "X"); // a wrong character is reported at once
        QCOMPARE(t.messages.last(), std::string("Die Passworte stimmen nicht überein! Eingabe überprüfen!"));
        QVERIFY(d.Text1->buffer().isEmpty() && d.Text1->text().isEmpty());
        Type(d.Text1, "abc");
        QVERIFY(d.Command1->isEnabled());
        Type(d.Text1, "d"); // longer than the password differs too
        QCOMPARE(t.messages.shown.size(), size_t(2));

        // Changing the password after confirming empties the confirmation.
        Type(d.Text1, "abc");
        Type(d.Text5, "d");
        QVERIFY(d.Text1->buffer().isEmpty());
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(t.messages.last(), std::string("Die beiden Passworte stimmen nicht überein!"));
        QVERIFY(d.isVisible() && !d.password() && text3->text().isEmpty());
        // Emptying the password too: OK disables itself and does nothing.
        d.Text5->selectAll();
        QTest::keyClick(d.Text5, Qt::Key_Backspace);
        QTest::keyClick(d.Text1, Qt::Key_Return);
        QVERIFY(!d.Command1->isEnabled() && d.isVisible() && t.messages.shown.size() == 3);

        // Cancelling and the close box leave no password.
        auto start = [&] {
            d.show();
            text3->setText("stale");
            Type(d.Text5, "abc");
        };
        auto nothingLeft = [&] {
            return !d.isVisible() && !d.password() && text3->text().isEmpty() && d.Text5->buffer().isEmpty();
        };
        start();
        t.messages.answers = {Answer::No, Answer::Yes};
        QVERIFY(!d.close()); // "No" keeps everything
        QVERIFY(d.isVisible() && d.Text5->buffer() == "abc" && text3->text() == "stale");
        QCOMPARE(t.messages.last(), std::string("Möchten Sie das Verschlüsseln und Verstecken wirklich abbrechen?"));
        QTest::keyClick(d.Text5, Qt::Key_Escape); // same as the close box
        QVERIFY(nothingLeft());
        start();
        QTest::mouseClick(d.Command2, Qt::LeftButton); // asks nothing
        QVERIFY(nothingLeft());
        QCOMPARE(t.messages.shown.size(), size_t(5));
    }

    void extractDialogHandsOnWhateverWasTyped() {
        test::TestServices t;
        RegisterWindows(t.services);
        QLineEdit *text1 = AddTarget(t, "frmEx", "Text1");
        FrmPas empty(t.services);
        QTest::mouseClick(empty.Command1, Qt::LeftButton); // no check: the padding alone
        QCOMPARE(text1->text(), Padded(""));
        WhenModal([](QWidget *w) {
            auto *d = qobject_cast<FrmPas *>(w);
            QVERIFY(d);
            Type(d->Text1, "0123456789ABCDEFG");
            QTest::keyClick(d->Text1, Qt::Key_Backspace);
            QTest::keyClick(d->Text1, Qt::Key_Enter);
        });
        QWidget owner;
        QCOMPARE(AskExtractPassword(t.services, &owner), std::optional<QString>(Padded("0123456789ABCDE")));
        QCOMPARE(text1->text(), Padded("0123456789ABCDE"));
        QVERIFY(!t.registry.existing("frmPas"));
        WhenModal([](QWidget *w) { // the close box writes nothing
            Type(w->findChild<MaskedEdit *>("Text1"), "neu");
            w->close();
        });
        QCOMPARE(AskExtractPassword(t.services), std::nullopt);
        QCOMPARE(text1->text(), Padded("0123456789ABCDE"));
        QVERIFY(t.messages.shown.empty());
    }
};

QTEST_MAIN(PasswordWindowsTest)
#include "password_windows_test.moc"
