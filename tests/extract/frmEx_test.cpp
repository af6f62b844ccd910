#include "carrier/carrier_texts.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"

#include "crypto/frmPas.h"
#include "crypto/register.h"
#include "extract/extract_texts.h"
#include "extract/register.h"
#include "fakes_ui.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "run_fakes.h"
#include "shell/frmStart.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_parts.h"

#include <QMimeData>
#include <QPointer>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

using namespace kalmira;
using extract::FrmEx;
using extract::FrmExFile;
using extract::FrmExMessage;
using namespace kalmira::test;

namespace {

QString QS(const std::string &s) { return QString::fromStdString(s); }

// One program run: the real extract window with fake services, carriers made
// by the hide engine directly.
template <class W>
struct Run {
    Run() : t(std::is_same_v<W, FrmExMessage> ? Program::A : Program::B) {
        Flags() = SharedFlags{};
        ::setenv("TMPDIR", tmp.path().c_str(), 1);
        extract::RegisterWindows(t.services);
        t.registry.registerFactory("frmStart", [this] { return new FrmStart(t.services); });
        w = qobject_cast<W *>(t.registry.get<FrmEx>("frmEx"));
        w->pauseFor = [this](double s) { pauses.push_back(s); };
        w->askPassword = [this] {
            ++asked;
            if (typed.empty()) return; // closed without OK: Text1 stays as it is
            w->Text1->setText(w->wantsTypedPassword() ? typed.front() : crypto::PaddedPassword(typed.front()));
            typed.pop_front();
        };
    }
    ~Run() {
        t.registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ::unsetenv("TMPDIR");
    }

    // A carrier holding `plain` as `name` (KalmiraB) or, without a name, the message `plain` (KalmiraA).
    std::string hidden(const std::vector<std::uint8_t> &plain, const std::string &name, payload::Mode mode, bool wav) {
        const std::string carrier = dir.file(wav ? "carrier.wav" : "carrier.bmp");
        WriteAll(carrier, wav ? test::MakeWav(300000) : test::MakeBmp(300, 300));
        const auto outcome = name.empty() ? HideMessage(hider, passwords, carrier, {plain.begin(), plain.end()}, mode)
                                          : HideFile(hider, passwords, dir, carrier, plain, name, mode);
        return outcome == hide::HideOutcome::Written ? carrier : "";
    }

    void open(const std::string &carrier) {
        t.dialogs.openAnswers.push_back(QS(carrier));
        w->Command1->click();
    }

    void drop(const QStringList &paths) {
        auto *mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString &p : paths) urls << QUrl::fromLocalFile(p);
        mime->setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->Text4, &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->Text4, &event);
        delete mime;
    }

    test::TempDir dir, tmp;
    test::TestServices t;
    test::FakePasswords passwords;
    hide::HideEngine hider{KeepBackups()};
    W *w = nullptr;
    std::deque<QString> typed;
    std::vector<double> pauses;
    int asked = 0;
};

using RunB = Run<FrmExFile>;
using RunA = Run<FrmExMessage>;

} // namespace

class FrmExTest : public QObject {
    Q_OBJECT
private slots:
    // Every mode and carrier kind runs through both programs' windows in
    // programs_test; here the window's own parts.
    void filesRoundTripThroughBmpAndWav() {
        RunB r;
        QVERIFY(!r.w->Command2->isEnabled());
        const auto plain = RandomBytes(20000, 3);
        for (bool wav : {false, true}) {
            r.open(r.hidden(plain, "Bericht.pdf", payload::Mode::Aes, wav));
            QVERIFY(r.w->Command2->isEnabled());
            QCOMPARE(r.w->Command8->isEnabled(), !wav);
            QCOMPARE(r.w->Command7->isEnabled(), wav);
            QCOMPARE(r.w->Image1->isHidden(), !wav); // the preview replaces the placeholder
        }
        // A cancelled save dialog writes nothing.
        const std::size_t before = FilesIn(r.dir.path());
        r.t.dialogs.saveAnswers.push_back("");
        r.typed = {"Sesam"};
        r.w->Command2->click();
        QCOMPARE(FilesIn(r.dir.path()), before);
        QVERIFY(!r.w->Command5->isEnabled() && r.w->extractedFile().isEmpty());
        QCOMPARE(r.pauses, std::vector<double>{1});

        const std::string dest = r.dir.file("out.pdf");
        r.t.dialogs.saveAnswers.push_back(QS(dest));
        r.typed = {"falsch", "Sesam"};
        r.w->Command2->click();
        QCOMPARE(ReadAll(dest), plain);
        QCOMPARE(r.asked, 3);
        QCOMPARE(r.w->extractedFile(), QS(dest));
        QVERIFY(r.w->Text1->text().isEmpty());
        QCOMPARE(r.t.dialogs.saveRequests.back().fileName, QString("Bericht.pdf"));
        QCOMPARE(FilesIn(r.tmp.path()), std::size_t{0});

        // ShowExtrakt opens the last file; the help line shows the elapsed time.
        r.w->Command5->click();
        QCOMPARE(r.t.desktop.opened, QStringList{r.w->extractedFile()});
        QVERIFY(r.w->Label5->isHidden());
        QTest::mouseClick(r.w->Label1, Qt::LeftButton);
        QCOMPARE(r.w->Label5->text().size(), 5);
        // The next carrier disables ShowExtrakt again.
        r.open(r.dir.file("carrier.bmp"));
        QVERIFY(!r.w->Command5->isEnabled());
        QVERIFY(r.w->Label4->text().isEmpty());
    }

    void carrierChoiceByDropAndDialog() {
        RunB r;
        std::filesystem::rename(r.hidden(RandomBytes(300), "a.bin", payload::Mode::Plain, false),
                                r.dir.file("BILD.BMP"));
        const QString upper = QS(r.dir.file("BILD.BMP")), text = QS(r.dir.file("notiz.txt"));
        WriteAll(r.dir.file("notiz.txt"), std::string("text"));
        r.drop({upper, text}); // only the first counts
        QCOMPARE(r.w->Text4->text(), upper);
        QVERIFY(r.w->Command2->isEnabled());
        r.drop({text});
        QCOMPARE(r.t.messages.shown.size(), std::size_t{1});
        QVERIFY(r.w->Text4->text().isEmpty() && r.w->Label3->text().isEmpty());
        QVERIFY(!r.w->Command2->isEnabled());

        // Without the preview, a ".bmp" without "BM" is refused.
        WriteAll(r.dir.file("fake.bmp"), std::string("XXXXXXXXXXXXXXXX"));
        r.w->checkBmpShow->click();
        r.open(r.dir.file("fake.bmp"));
        QCOMPARE(r.t.messages.shown.size(), std::size_t{2});
        QVERIFY(!r.w->Command2->isEnabled());

        // A cancelled dialog leaves everything cleared.
        r.open("");
        QVERIFY(r.w->Text4->text().isEmpty() && !r.w->Image1->isHidden());
        QVERIFY(!r.w->Command8->isEnabled() && !r.w->Command7->isEnabled());

        // After a hide run the dialog proposes the hide window's carrier; the
        // switch button hands the position over and keeps both windows.
        auto *hideWindow = new QWidget;
        auto *hideCarrier = new QLineEdit(upper, hideWindow);
        hideCarrier->setObjectName("Text1");
        r.w->Command3->click(); // no hide window in this program run yet
        r.t.registry.registerFactory("frmV", [hideWindow] { return hideWindow; });
        r.w->show();
        r.w->move(40, 30);
        r.w->Command3->click();
        QVERIFY(hideWindow->isVisible() && !r.w->isVisible());
        QCOMPARE(hideWindow->pos(), r.w->pos());
        Flags().hideRunDone = true;
        r.open("");
        QCOMPARE(r.t.dialogs.openRequests.back().fileName, QString("BILD.BMP"));
        QCOMPARE(r.t.dialogs.openRequests.back().folder, QS(r.dir.path() + "/"));
    }

    void thirdWrongPasswordEndsTheProgram() {
        RunB r;
        QVERIFY(r.t.registry.get<FrmStart>("frmStart"));
        r.open(r.hidden(RandomBytes(800), "x.bin", payload::Mode::Rc4, false));
        QPointer<FrmEx> window = r.w;
        r.typed = {"eins", "zwei"}; // the third dialog is closed without OK
        r.w->Command2->click();
        QCOMPARE(r.asked, 3);
        QCOMPARE(r.t.exits, std::vector<int>{0});
        QVERIFY(!r.t.registry.existing("frmEx"));
        QVERIFY(r.t.dialogs.saveRequests.empty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
    }

    void carrierOnTheCommandLineExtractsAtOnce() {
        RunB r;
        const auto plain = RandomBytes(1500, 5);
        const std::string carrier = r.hidden(plain, "brief.doc", payload::Mode::Aes, false);
        r.t.dialogs.saveAnswers.push_back(QS(r.dir.file("brief.doc")));
        r.typed = {"Sesam"};
        auto *start = r.t.registry.get<FrmStart>("frmStart");
        QVERIFY(start->handleCommandLine("\"" + QS(carrier) + "\""));
        QCOMPARE(ReadAll(r.dir.file("brief.doc")), plain);
        QVERIFY(r.w->isVisible() && !start->isVisible());
        QVERIFY(r.t.dialogs.openRequests.empty());

        // Exit ends the program through the start window, even in the middle
        // of a run; the window outlives the run that is still on the stack.
        QPointer<FrmEx> window = r.w;
        bool survived = false;
        r.w->pauseFor = [&](double) {
            window->Command4->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            survived = !window.isNull();
        };
        r.open(carrier);
        r.t.dialogs.saveAnswers.push_back("");
        r.typed = {"Sesam"};
        window->Command2->click();
        QVERIFY(survived);
        QCOMPARE(r.t.exits, std::vector<int>{0});
        QVERIFY(!r.t.registry.existing("frmEx"));
    }

    // A carrier given by its path keeps what comes out beside it; one chosen
    // in the dialog sends it where extractions went last.
    void saveDialogStartsBesideAGivenCarrierOrWhereLastSaved() {
        RunB r;
        test::TempDir settings, other;
        SettingsFolderMemory memory(QS(settings.file("ordner.ini")));
        r.t.services.folders = &memory;
        memory.remember(folders::kExtracted, QS(other.path()));
        const auto plain = RandomBytes(500, 5);
        const std::string carrier = r.hidden(plain, "brief.doc", payload::Mode::Plain, false);
        r.t.dialogs.saveAnswers.push_back("");
        QVERIFY(r.t.registry.get<FrmStart>("frmStart")->handleCommandLine(QS(carrier)));
        QCOMPARE(r.t.dialogs.saveRequests.back().folder, WithSeparator(QS(r.dir.path())));

        r.t.dialogs.saveAnswers.push_back(QS(other.file("brief.doc")));
        r.open(carrier);
        QCOMPARE(r.t.dialogs.openRequests.back().folder, WithSeparator(QS(r.dir.path())));
        r.w->Command2->click();
        QCOMPARE(r.t.dialogs.saveRequests.back().folder, WithSeparator(QS(other.path())));
        QCOMPARE(ReadAll(other.file("brief.doc")), plain);
    }

    // Nothing in the classic format: the question says so and that only the
    // stealth format needs a password; Escape gives the classic answer.
    void nothingClassicAsksOnlyForAStealthPassword() {
        auto check = [](auto &r, const std::string &nothing) {
            FrmEx *w = r.w;
            WriteAll(r.dir.file("leer.bmp"), test::MakeBmp(200, 200));
            QString question;
            w->askPassword = [&] { question = w->passwordQuestion(); }; // Escape
            r.open(r.dir.file("leer.bmp"));
            w->Command2->click();
            QCOMPARE(question, QString::fromUtf8(extract::kStealthPasswordQuestion));
            QVERIFY(!question.contains("wurde zusätzlich verschlüsselt"));
            QCOMPARE(r.t.messages.last(), nothing);
            QVERIFY(w->passwordQuestion().isEmpty());
        };
        {
            RunB b;
            check(b, "Die ausgewählte Container-Datei enthält keine versteckte Datei!");
        }
        {
            RunA a;
            check(a, "Diese Datei enthält keine versteckte Botschaft!");
        }
        // The dialog grows to show the longer question whole.
        test::TestServices t;
        crypto::FrmPas dialog(t.services);
        const int height = dialog.height();
        dialog.setQuestion(QString::fromUtf8(extract::kStealthPasswordQuestion));
        QVERIFY(dialog.Label1->heightForWidth(dialog.Label1->width()) <= dialog.Label1->height());
        QVERIFY(dialog.Text1->y() >= dialog.Label1->geometry().bottom() && dialog.height() > height);
        QVERIFY(dialog.Command1->geometry().bottom() < dialog.height());
    }

    void messageShowsAndIsSavedAsHidden() {
        RunA r;
        const std::string ansi = platform::AnsiFromUtf8("Grüße aus Köln\r\nÄrger? Nein.\r\n");
        r.open(r.hidden({ansi.begin(), ansi.end()}, "", payload::Mode::Aes, true));
        r.typed = {"Sesam"};
        r.w->Command2->click();
        QVERIFY(r.w->Text3->toPlainText().startsWith(QString("Grüße aus Köln\nÄrger? Nein.")));
        QCOMPARE(r.w->Text2->toPlainText(), r.w->Text3->toPlainText());
        QVERIFY(r.w->Command6->isEnabled() && r.w->Command2->isEnabled());

        // Saving over a longer file writes the message as it was hidden, nothing added.
        const std::string saved = r.dir.file("botschaft.txt");
        WriteAll(saved, std::string("older and longer content than the message"));
        r.t.dialogs.saveAnswers.push_back(QS(saved));
        r.w->Command6->click();
        QCOMPARE(r.t.dialogs.saveRequests.back().fileName, QString("Botschaft.txt"));
        QCOMPARE(ReadAll(saved), std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
        QCOMPARE(FilesIn(r.tmp.path()), std::size_t{0});
    }

    // A hide that died after changing the carrier: the window's run undoes it, says so once.
    void interruptedHideIsRolledBackAndSaidOnce() {
        RunA r;
        const std::string carrier = r.hidden({'H', 'a', 'l', 'l', 'o'}, "", payload::Mode::Plain, false);
        const auto before = ReadAll(carrier);
        if (::fork() == 0) {
            platform::CarrierJournal journal(carrier);
            const auto flip = [](std::int64_t, const std::uint8_t *o, std::uint8_t *out, std::size_t n) {
                for (std::size_t i = 0; i < n; ++i) out[i] = o[i] ^ 1;
            };
            if (journal.begin({{91, 600, flip}}) != platform::JournalError::None) ::_exit(1);
            auto bytes = before;
            for (int i = 91; i < 691; ++i) bytes[i] ^= 1;
            WriteAll(carrier, bytes);
            ::_exit(0); // no destructor: the journal stays
        }
        ::wait(nullptr);
        r.open(carrier);
        r.w->Command2->click();
        const auto rolledBack = [&] {
            return std::count_if(r.t.messages.shown.begin(), r.t.messages.shown.end(), [&](const auto &m) {
                return m.text.find("wurde rückgängig gemacht") != std::string::npos;
            });
        };
        QCOMPARE(rolledBack(), 1);
        QCOMPARE(ReadAll(carrier), before);
        QVERIFY(r.w->Text3->toPlainText().startsWith("Hallo"));
        r.w->Command2->click();
        QCOMPARE(rolledBack(), 1);
    }

    // Refusals leave the buttons as the next step needs them.
    void refusedRunsSetTheSaveButton() {
        RunA r;
        r.open(r.hidden(RandomBytes(3000, 8), "prog.exe", payload::Mode::Plain, false));
        r.w->Command2->click(); // a binary file from KalmiraB: no message
        QVERIFY(!r.w->Command6->isEnabled() && r.w->Command2->isEnabled());
        QVERIFY(r.pauses.empty());

        WriteAll(r.dir.file("leer.wav"), test::MakeWav(5000));
        r.open(r.dir.file("leer.wav"));
        r.w->Command2->click(); // no payload: what the box holds may still be saved
        QVERIFY(r.w->Command6->isEnabled());

        // Saving an empty box asks for no file; an empty carrier box runs nothing.
        r.w->Text3->clear();
        r.w->Command6->click();
        QVERIFY(r.t.dialogs.saveRequests.empty());
        r.w->Command6->setEnabled(false);
        r.open("");
        r.w->Command2->setEnabled(true);
        const auto shown = r.t.messages.shown.size();
        r.w->Command2->click();
        QCOMPARE(r.t.messages.shown.size(), shown + 1);
        QVERIFY(!r.w->Command6->isEnabled() && r.w->Command2->isEnabled());
    }

    void wrapToggleKeepsBothBoxesEqual() {
        RunA r;
        QVERIFY(!r.w->Text3->isHidden() && r.w->Text2->isHidden());
        r.w->Check1->click();
        QVERIFY(r.w->Text3->isHidden() && !r.w->Text2->isHidden());
        r.w->Text2->setPlainText("getippt im Umbruchfeld");
        QCOMPARE(r.w->Text3->toPlainText(), QString("getippt im Umbruchfeld"));
        r.w->Check1->click();
        r.w->Text3->setPlainText("zurück\nnach Hause");
        QCOMPARE(r.w->Text2->toPlainText(), QString("zurück\nnach Hause"));

        // An edited message is saved as the box shows it, with CR LF line ends;
        // exit clears both boxes.
        const std::string saved = r.dir.file("edit.txt");
        r.t.dialogs.saveAnswers.push_back(QS(saved));
        r.w->Command6->setEnabled(true);
        r.w->Command6->click();
        const std::string ansi = platform::AnsiFromUtf8("zurück\r\nnach Hause");
        QCOMPARE(ReadAll(saved), std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
        r.w->Command4->click();
        QVERIFY(r.w->Text3->toPlainText().isEmpty() && r.w->Text2->toPlainText().isEmpty());
        QCOMPARE(r.t.exits, std::vector<int>{0});
    }

    void bothWindowsFitOnA1366x768Screen() {
        // Window manager frame and a panel take about 80 of the 768 pixels.
        RunA a;
        RunB b;
        for (QWidget *w : {static_cast<QWidget *>(a.w), static_cast<QWidget *>(b.w)})
            QVERIFY2(w->width() <= 1366 && w->height() <= 688,
                     qPrintable(QString("%1x%2").arg(w->width()).arg(w->height())));
    }
};

QTEST_MAIN(FrmExTest)
#include "frmEx_test.moc"
