#include "crypto/frmPas.h"
#include "crypto/frmPasV.h"
#include "crypto/keys.h"
#include "crypto/register.h"
#include "platform/platform.h"

#include "fakes_ui.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

using namespace kalmira;
using namespace kalmira::crypto;

namespace {
const QString kPadding = QString::fromStdString(PasswordPadding());

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

void ShowActive(QWidget &w) {
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

QString Stars(int n) { return QString(n, u'*'); }

// Runs `act` on the modal dialog once it is up; closes any modal left over so
// a failing test cannot hang.
void WhenModal(std::function<void(QWidget *)> act, int triesLeft = 300) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        if (QWidget *w = QApplication::activeModalWidget()) { act(w); return; }
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
    void hideDialogLooksAsDesigned() {
        test::TestServices t;
        FrmPasV d(t.services);
        QCOMPARE(d.windowTitle(), QString("Passworteingabe..."));
        QCOMPARE(d.Label1->text(), QString("Bitte ein Passwort eingeben - max. 16 Zeichen:"));
        QCOMPARE(d.Label4->text(), QString("Kontrollwiederholung:"));
        QCOMPARE(d.Label2->text(), QString("Gross - oder Kleinscheibung wird unterschieden!"));
        QCOMPARE(d.Command1->text(), QString("OK"));
        QCOMPARE(d.Command2->text(), QString("Abbruch"));
        QVERIFY(!d.Command1->isEnabled());
        QCOMPARE(d.palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
        QCOMPARE(d.lblSlider[1]->toolTip(),
                 QString("Bewertung der Passwortlaenge: rot-> \"schlecht\";    gelb-> \"na ja\" :-);"
                         "    gruen -> \"gut\""));
    }

    void onePasswordCharacterIsPaddedAndHandedOn() {
        test::TestServices t;
        QLineEdit *text3 = AddTarget(t, "frmV", "Text3");
        FrmPasV d(t.services);
        ShowActive(d);
        QVERIFY(d.Text5->hasFocus());
        Type(d.Text5, "x");
        QCOMPARE(d.Text5->text(), Stars(1));
        QCOMPARE(d.Label9->text(), QString("1"));
        QCOMPARE(d.lblSlider[1]->x(), 10);
        Type(d.Text1, "x");
        QCOMPARE(d.Label10->text(), QString("1"));
        QVERIFY(d.Command1->isEnabled());
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        const QString expected = "x" + kPadding.left(15);
        QCOMPARE(text3->text(), expected);
        QCOMPARE(d.password(), std::optional<QString>(expected));
        QVERIFY(!d.isVisible());
        QVERIFY(d.Text5->buffer().isEmpty() && d.Text1->buffer().isEmpty());
    }

    void sixteenCharactersFillTheFieldAndMoveTheFocus() {
        test::TestServices t;
        FrmPasV d(t.services);
        ShowActive(d);
        const QString pw = "Ab3 !xyZ0123456Q";
        Type(d.Text5, pw);
        QCOMPARE(d.Text5->buffer(), pw);
        QCOMPARE(d.lblSlider[1]->x(), 160);
        QVERIFY(d.Text1->hasFocus());
        // A 17th character is ignored wherever the cursor is ...
        for (int pos : {0, 7, 16}) {
            d.Text5->setCursorPosition(pos);
            Type(d.Text5, "k");
            QCOMPARE(d.Text5->buffer(), pw);
            QCOMPARE(d.Text5->text(), Stars(16));
        }
        // ... but replaces a selection.
        d.Text5->setSelection(15, 1);
        Type(d.Text5, "R");
        QCOMPARE(d.Text5->buffer(), "Ab3 !xyZ0123456R");
        Type(d.Text1, "Ab3 !xyZ0123456R");
        QTest::keyClick(d.Text1, Qt::Key_Return);
        QCOMPARE(d.password(), std::optional<QString>("Ab3 !xyZ0123456R"));
        QVERIFY(t.messages.shown.empty());
    }

    void maskedTypingKeepsBufferAndDisplayInStep() {
        test::TestServices t;
        FrmPasV d(t.services);
        MaskedEdit *f = d.Text5;
        Type(f, "abcdef");
        f->setSelection(1, 3); // "bcd"
        Type(f, "X");
        QCOMPARE(f->buffer(), QString("aXef"));
        QCOMPARE(f->cursorPosition(), 2);
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(f->buffer(), QString("aef"));
        QTest::keyClick(f, Qt::Key_Delete);
        QCOMPARE(f->buffer(), QString("af"));
        QTest::keyClick(f, Qt::Key_Home);
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(f->buffer(), QString("af"));
        QTest::keyClick(f, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(f, Qt::Key_Delete);
        QCOMPARE(f->buffer(), QString("f"));
        QCOMPARE(f->text(), Stars(1));
        // Control characters other than Backspace and Enter are not stored.
        QTest::keyClick(f, Qt::Key_Tab);
        QCOMPARE(f->buffer(), QString("f"));
        QCOMPARE(d.Label9->text(), QString("1"));
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(d.Label9->text(), QString());
    }

    void onlyCharactersWithOneAnsiByteAreTaken() {
        test::TestServices t;
        FrmPas d(t.services);
        Type(d.Text1, QString::fromUtf8("ä€Ω\u4e2d?"));
        QCOMPARE(d.Text1->buffer(), QString::fromUtf8("ä€?"));
        QTest::keyClick(d.Text1, Qt::Key_Return);
        const std::string ansi = std::string("\xE4\x80?") + PasswordPadding().substr(0, 13);
        QCOMPARE(d.password()->toStdString(), platform::Utf8FromAnsi(ansi));
    }

    void wrongConfirmationCharacterIsReportedAtOnce() {
        test::TestServices t;
        FrmPasV d(t.services);
        Type(d.Text5, "abc");
        Type(d.Text1, "ab");
        QVERIFY(t.messages.shown.empty());
        QVERIFY(!d.Command1->isEnabled());
        Type(d.Text1, "X");
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QCOMPARE(t.messages.shown[0].icon, Icon::Critical);
        QCOMPARE(t.messages.shown[0].title, std::string("Kalmira - Nachricht"));
        QCOMPARE(t.messages.shown[0].text,
                 std::string("Die Passworte stimmen nicht überein! Eingabe überprüfen!"));
        QVERIFY(d.Text1->buffer().isEmpty() && d.Text1->text().isEmpty());
        QCOMPARE(d.Label10->text(), QString());
        // A confirmation longer than the password differs as well.
        Type(d.Text1, "abc");
        QVERIFY(d.Command1->isEnabled());
        Type(d.Text1, "d");
        QCOMPARE(t.messages.shown.size(), size_t(2));
    }

    void changingThePasswordAfterConfirmingNeedsANewConfirmation() {
        test::TestServices t;
        QLineEdit *text3 = AddTarget(t, "frmV", "Text3");
        FrmPasV d(t.services);
        d.show();
        Type(d.Text5, "abc");
        Type(d.Text1, "abc");
        Type(d.Text5, "d");
        QVERIFY(d.Text1->buffer().isEmpty() && d.Text1->text().isEmpty());
        QCOMPARE(d.Label10->text(), QString());
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(t.messages.shown.size(), size_t(1));
        QCOMPARE(t.messages.shown[0].icon, Icon::Exclamation);
        QCOMPARE(t.messages.shown[0].title, std::string("Kalmira - Nachricht"));
        QCOMPARE(t.messages.last(), std::string("Die beiden Passworte stimmen nicht überein!"));
        QVERIFY(d.isVisible());
        QCOMPARE(d.Text5->buffer(), QString("abcd"));
        QVERIFY(!d.password());
        QVERIFY(text3->text().isEmpty());
        // Emptying the password too: OK disables itself and does nothing.
        d.Text5->selectAll();
        QTest::keyClick(d.Text5, Qt::Key_Backspace);
        QTest::keyClick(d.Text1, Qt::Key_Return);
        QVERIFY(!d.Command1->isEnabled());
        QVERIFY(d.isVisible());
        QCOMPARE(t.messages.shown.size(), size_t(1));
    }

    void pasteAndOtherEditingCommandsAreBlocked() {
        test::TestServices t;
        FrmPasV d(t.services);
        Type(d.Text5, "ab");
        Type(d.Text1, "ab");
        for (MaskedEdit *f : {d.Text5, d.Text1}) {
            t.clipboard.setText("geheim");
            QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(t.clipboard.text().isEmpty());
            t.clipboard.setText("geheim");
            f->selectAll();
            QTest::keyClick(f, Qt::Key_Insert, Qt::ShiftModifier);
            QTest::keyClick(f, Qt::Key_X, Qt::ControlModifier);
            QTest::keyClick(f, Qt::Key_Delete, Qt::ShiftModifier);
            QTest::keyClick(f, Qt::Key_Z, Qt::ControlModifier);
            QTest::mouseClick(f, Qt::MiddleButton);
            QCOMPARE(f->text(), Stars(f->buffer().size()));
            QVERIFY(!f->acceptDrops());
        }
        QCOMPARE(d.Text5->buffer(), QString("ab"));
        QCOMPARE(d.Text1->buffer(), QString("ab"));
        QCOMPARE(t.clipboard.clears, 2);
        QVERIFY(t.messages.shown.empty());
    }

    void contextMenuIsReplacedByTheTestMenu() {
        test::TestServices t;
        FrmPasV d(t.services);
        ShowActive(d);
        QTest::mouseClick(d.Text1, Qt::RightButton, {}, d.Text1->rect().center());
        QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(d.mnuTest));
        QCOMPARE(d.menuMarker(), 1);
        d.mnuTest->close();
        QTest::keyClick(d.Text5, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(d.mnuTest));
        QCOMPARE(d.menuMarker(), 5);
        d.mnuTest->close();

        FrmPas p(t.services);
        ShowActive(p);
        QTest::keyClick(p.Text1, Qt::Key_Menu);
        QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget *>(p.mnuTest));
        p.mnuTest->close();
    }

    void cancelAndCloseBoxLeaveNoPassword() {
        test::TestServices t;
        QLineEdit *text3 = AddTarget(t, "frmV", "Text3");
        {
            FrmPasV d(t.services);
            d.show();
            text3->setText("stale");
            Type(d.Text5, "abc");
            QTest::mouseClick(d.Command2, Qt::LeftButton);
            QVERIFY(!d.isVisible());
            QVERIFY(text3->text().isEmpty());
            QVERIFY(!d.password());
        }
        FrmPasV d(t.services);
        d.show();
        text3->setText("stale");
        Type(d.Text5, "abc");
        t.messages.answers = {Answer::No, Answer::Yes};
        QVERIFY(!d.close());
        QVERIFY(d.isVisible());
        QCOMPARE(d.Text5->buffer(), QString("abc"));
        QCOMPARE(text3->text(), QString("stale"));
        QTest::keyClick(d.Text5, Qt::Key_Escape); // same as the close box
        QVERIFY(!d.isVisible());
        QVERIFY(text3->text().isEmpty());
        QVERIFY(d.Text5->buffer().isEmpty());
        QCOMPARE(t.messages.shown.size(), size_t(2));
        QCOMPARE(t.messages.shown[0].icon, Icon::Question);
        QCOMPARE(t.messages.shown[0].title, std::string("Kalmira-Kontrollabfrage"));
        QCOMPARE(t.messages.shown[0].text,
                 std::string("Möchten Sie das Verschlüsseln und Verstecken wirklich abbrechen?"));
    }

    void extractDialogHandsOnWhateverWasTyped() {
        test::TestServices t;
        QLineEdit *text1 = AddTarget(t, "frmEx", "Text1");
        FrmPas d(t.services);
        QCOMPARE(d.windowTitle(), QString("Bitte das Passwort eingeben:"));
        QCOMPARE(d.Label1->text(), QString("Die versteckte Datei wurde zusätzlich verschlüsselt. "
                                           "Bitte das verwendete Passwort eingeben:"));
        QVERIFY(d.Command1->isEnabled());
        ShowActive(d);
        QVERIFY(d.Text1->hasFocus());
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(text1->text(), kPadding);
        QCOMPARE(d.password(), std::optional<QString>(kPadding));
        QVERIFY(!d.isVisible());

        // 16 characters, Backspace, Enter.
        d.show();
        Type(d.Text1, "0123456789ABCDEF");
        Type(d.Text1, "G");
        QTest::keyClick(d.Text1, Qt::Key_Backspace);
        QCOMPARE(d.Text1->text(), Stars(15));
        QTest::keyClick(d.Text1, Qt::Key_Enter);
        QCOMPARE(text1->text(), "0123456789ABCDE" + kPadding.left(1));
        QVERIFY(d.Text1->buffer().isEmpty());

        // The close box writes nothing.
        d.show();
        Type(d.Text1, "neu");
        QVERIFY(d.close());
        QCOMPARE(text1->text(), "0123456789ABCDE" + kPadding.left(1));
        QVERIFY(!d.password());
        QVERIFY(t.messages.shown.empty());
    }

    void bothDialogsPadAlike() {
        test::TestServices t;
        for (const QString &pw : {QString("a"), QString("Kal mira7"), QString("0123456789abcdef")}) {
            FrmPasV v(t.services);
            Type(v.Text5, pw);
            Type(v.Text1, pw);
            QTest::mouseClick(v.Command1, Qt::LeftButton);
            FrmPas p(t.services);
            Type(p.Text1, pw);
            QTest::mouseClick(p.Command1, Qt::LeftButton);
            QVERIFY(v.password());
            QCOMPARE(v.password(), p.password());
            QCOMPARE(*v.password(), PaddedPassword(pw));
        }
    }

    void askFunctionsRunTheDialogsModally() {
        test::TestServices t;
        RegisterWindows(t.services);
        QLineEdit *text1 = AddTarget(t, "frmEx", "Text1");
        WhenModal([](QWidget *w) {
            auto *d = qobject_cast<FrmPas *>(w);
            QVERIFY(d);
            Type(d->Text1, "Geheim");
            QTest::keyClick(d->Text1, Qt::Key_Return);
        });
        QWidget owner;
        QCOMPARE(AskExtractPassword(t.services, &owner),
                 std::optional<QString>("Geheim" + kPadding.left(10)));
        QCOMPARE(text1->text(), "Geheim" + kPadding.left(10));
        QVERIFY(!t.registry.existing("frmPas"));

        WhenModal([](QWidget *w) {
            auto *d = qobject_cast<FrmPasV *>(w);
            QVERIFY(d);
            Type(d->Text5, "abc");
            QTest::mouseClick(d->Command2, Qt::LeftButton);
        });
        QCOMPARE(AskHidePassword(t.services), std::nullopt);

    }
};

QTEST_MAIN(PasswordWindowsTest)
#include "password_windows_test.moc"
