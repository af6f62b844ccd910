#include "shredder/frmShredderInfo.h"
#include "shredder/frmWipe.h"
#include "shredder/modDestroyFile.h"
#include "shredder/register.h"

#include "fakes_ui.h"
#include "platform/platform.h"

#include <QtTest>

#include <ctime>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::shredder;

namespace {

struct Env {
    explicit Env(Program p = Program::B) : t(p) { RegisterWindows(t.services); }
    ~Env() { t.registry.unloadAll(); }
    FrmWipe *open(const QString &path) {
        ShowShredder(t.services, path);
        return qobject_cast<FrmWipe *>(t.registry.existing("frmWipe"));
    }
    test::TestServices t;
    test::TempDir dir;
};

QString Q8(const std::string &s) { return QString::fromStdString(s); }

// Records the percent label at every step and can meddle after a pass.
struct Hook : WipeObserver {
    FrmWipe *w = nullptr;
    QStringList labels;
    std::function<void(int, const std::string &)> afterPass;
    void progress(int) override { labels << w->Label1->text(); }
    void passWritten(int pass, const std::string &path) override {
        if (afterPass) afterPass(pass, path);
    }
};

} // namespace

class FrmWipeTest : public QObject {
    Q_OBJECT
private slots:
    void designedState() {
        Env e;
        FrmWipe *w = e.open("");
        QVERIFY(w && w->isVisible());
        QVERIFY(w->Option1[0]->isChecked());
        QVERIFY(!w->Command2->isEnabled()); // empty box from the hide window
        QVERIFY(w->Label3->isHidden());
        QCOMPARE(w->Picture1->background(), QColor(0x03, 0x17, 0x00));

        w->Command3->click();
        auto *info = qobject_cast<FrmShredderInfo *>(e.t.registry.existing("frmShredderInfo"));
        QVERIFY(info && info->isVisible());
        QCOMPARE(info->List1->count(), 23);
        QVERIFY(info->List1->selectedItems().isEmpty());
        QVERIFY(QFontInfo(info->List1->font()).fixedPitch());
        info->Command1->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!e.t.registry.existing("frmShredderInfo"));

        // Closing releases the instance: the next opening starts afresh.
        w->Option1[1]->setChecked(true);
        w->Command4->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!e.t.registry.existing("frmWipe"));
        QVERIFY(e.open("")->Option1[0]->isChecked());
    }

    void chooseAndDestroy() {
        Env e;
        const std::string path = e.dir.file("brief.doc");
        test::WriteAll(path, test::RandomBytes(20000));
        FrmWipe *w = e.open("");
        e.t.dialogs.openAnswers = {Q8(path), ""};
        w->Command1->click();
        QCOMPARE(w->Fname->text(), Q8(path));
        QVERIFY(w->Command2->isEnabled());

        Hook hook;
        hook.w = w;
        w->testObserver = &hook;
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(e.t.messages.shown.size(), size_t(1));
        QCOMPARE(e.t.messages.shown[0].title, std::string("DateiShredder - Kontrollabfrage"));
        QCOMPARE(e.t.messages.shown[0].text,
                 "Soll die  Datei " + path + " jetzt unwiderruflich zerstört werden?");
        QVERIFY(!platform::FileExists(path));
        QVERIFY(std::filesystem::is_empty(e.dir.path()));
        QCOMPARE(hook.labels.size(), 5); // 5 blocks, step 1
        QCOMPARE(hook.labels.last(), QString("5 %"));
        QCOMPARE(w->Label1->text(), QString("100 %"));
        QVERIFY(!w->Label3->isHidden());
        QCOMPARE(w->Picture1->background(), FrmWipe::BarColour());
        QVERIFY(w->isEnabled());
        QVERIFY(e.t.pump.calls >= 5);

        // Cancelled dialog: empty path, destroy disabled, display reset.
        w->Command1->click();
        QVERIFY(w->Fname->text().isEmpty());
        QVERIFY(!w->Command2->isEnabled());
        QVERIFY(w->Label3->isHidden());
        w->testObserver = nullptr;
    }

    void hiddenFileIsReportedNotFound() {
        Env e;
        const std::string path = e.dir.file(".versteckt");
        test::WriteAll(path, std::string("geheim"));
        FrmWipe *w = e.open(Q8(path));
        QVERIFY(w->Command2->isEnabled());
        w->Command2->click();
        QCOMPARE(e.t.messages.shown.size(), size_t(1));
        QVERIFY(e.t.messages.contains("Die Datei wurde nicht gefunden."));
        QCOMPARE(test::ReadAll(path).size(), size_t(6));
    }

    void readOnlyQuestion() {
        Env e;
        const std::string path = e.dir.file("schutz.txt");
        test::WriteAll(path, std::string("geheim"));
        platform::SetFileAttributes(path, platform::AttrReadOnly);
        FrmWipe *w = e.open(Q8(path));
        e.t.messages.answers = {Answer::No};
        w->Command2->click();
        QCOMPARE(e.t.messages.shown.size(), size_t(1));
        QCOMPARE(e.t.messages.shown[0].title, std::string("DateiShredder - Nachricht"));
        QCOMPARE(e.t.messages.shown[0].text,
                 "Die Datei " + path + " ist schreibgeschützt. Soll der Schreibschutz entfernt werden?");
        QCOMPARE(platform::GetFileAttributes(path), int(platform::AttrReadOnly));
        QCOMPARE(test::ReadAll(path).size(), size_t(6));

        // Yes to both questions: unprotected and destroyed.
        e.t.messages.answers = {Answer::Yes, Answer::Yes};
        w->Command2->click();
        QVERIFY(!platform::FileExists(path));
        QVERIFY(!w->Label3->isHidden());
    }

    void typedPathNeedsAChosenFile() {
        Env e;
        const std::string path = e.dir.file("getippt.txt");
        test::WriteAll(path, std::string("geheim"));
        FrmWipe *w = e.open("");
        QTest::keyClicks(w->Fname, Q8(path));
        QCOMPARE(w->Fname->text(), Q8(path));
        QVERIFY(!w->Command2->isEnabled());
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        w->Command2->click();
        QVERIFY(e.t.messages.shown.empty());
        QCOMPARE(test::ReadAll(path).size(), size_t(6));
    }

    void fileThatCannotBeRenamedIsReported() {
        Env e(Program::A);
        const std::string path = e.dir.file("bleibt.txt");
        test::WriteAll(path, test::RandomBytes(10000));
        // Every ".del" name of this minute and the next is taken.
        const std::time_t now = std::time(nullptr);
        for (std::time_t t : {now, now + 60}) {
            std::tm when = *std::localtime(&t);
            for (int s = 0; s < 60; ++s) {
                when.tm_sec = s;
                test::WriteAll(e.dir.file(DelFileName(when)), std::string("x"));
            }
        }
        FrmWipe *w = e.open(Q8(path));
        w->Option1[1]->setChecked(true);
        Hook hook;
        hook.w = w;
        w->testObserver = &hook;
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(hook.labels.size(), 42);
        for (const QString &l : hook.labels) QVERIFY(l.section(' ', 0, 0).toInt() <= 99);
        QCOMPARE(e.t.messages.shown.size(), size_t(2));
        QCOMPARE(e.t.messages.shown[1].icon, Icon::Critical);
        QCOMPARE(e.t.messages.shown[1].title, std::string("KalmiraA"));
        QCOMPARE(e.t.messages.shown[1].text,
                 "Die Datei " + path +
                     " konnte nicht gelöscht werden! Starten sie das Programm als Administrator.");
        QCOMPARE(w->Picture1->background(), FrmWipe::FailedColour());
        QCOMPARE(w->Label1->text(), QString("0 %"));
        QVERIFY(w->Label3->isHidden());
        QVERIFY(w->isEnabled());
        QCOMPARE(platform::FileSize(path), std::int64_t(0));
        w->testObserver = nullptr;
    }

    void failedPassStopsTheRun() {
        Env e;
        const std::string path = e.dir.file("weg.txt");
        test::WriteAll(path, test::RandomBytes(100));
        FrmWipe *w = e.open(Q8(path));
        w->Option1[1]->setChecked(true);
        Hook hook;
        hook.w = w;
        int passes = 0;
        // After the first pass the name holds a folder, which cannot be opened.
        hook.afterPass = [&](int, const std::string &p) {
            ++passes;
            std::filesystem::remove(p);
            std::filesystem::create_directory(p);
        };
        w->testObserver = &hook;
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(passes, 1);
        QCOMPARE(e.t.messages.shown.size(), size_t(2));
        QCOMPARE(e.t.messages.shown[1].icon, Icon::Exclamation);
        QCOMPARE(e.t.messages.shown[1].title, std::string("DateiShredder - Nachricht"));
        QVERIFY(e.t.messages.contains("Die Datei kann nicht geöffnet werden."));
        QCOMPARE(w->Picture1->background(), FrmWipe::IdleColour());
        QCOMPARE(w->Label1->text(), QString("0 %"));
        QVERIFY(w->Label3->isHidden());
        QVERIFY(w->isEnabled());
        QVERIFY(std::filesystem::is_directory(path));
        w->testObserver = nullptr;
    }

    void openedOwnedByTheHideWindow() {
        Env e;
        QWidget hideWindow;
        ShowShredder(e.t.services, "/x/y.txt", &hideWindow);
        auto *w = qobject_cast<FrmWipe *>(e.t.registry.existing("frmWipe"));
        QVERIFY(w && w->isVisible() && w->isWindow());
        QCOMPARE(w->parentWidget(), &hideWindow);
        QCOMPARE(w->Fname->text(), QString("/x/y.txt"));
        QVERIFY(w->Command2->isEnabled());
        e.t.registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(FrmWipeTest)
#include "frmWipe_test.moc"
