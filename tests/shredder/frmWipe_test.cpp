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
QString Q8(const std::string &s) { return QString::fromStdString(s); }

// Records the percent label at every step and can meddle after a pass.
struct Hook : WipeObserver {
    FrmWipe *w = nullptr;
    QStringList labels;
    std::function<void(const std::string &)> afterPass;
    void progress(int) override { labels << w->Label1->text(); }
    void passWritten(int, const std::string &path) override {
        if (afterPass) afterPass(path);
    }
};

struct Env {
    explicit Env(Program p = Program::B) : t(p) { RegisterWindows(t.services); }
    ~Env() { t.registry.unloadAll(); }
    // Opens the window on a new file of `size` bytes (none for -1), watched by `hook`.
    FrmWipe *open(const std::string &name, int size, bool intensiv = false) {
        path = name.empty() ? "" : dir.file(name);
        if (size >= 0) test::WriteAll(path, test::RandomBytes(static_cast<std::size_t>(size)));
        ShowShredder(t.services, Q8(path));
        auto *w = qobject_cast<FrmWipe *>(t.registry.existing("frmWipe"));
        w->Option1[intensiv ? 1 : 0]->setChecked(true);
        hook.w = w;
        w->testObserver = &hook;
        return w;
    }
    // Closes the window and opens it again as `open` does.
    FrmWipe *reopen(FrmWipe *w, const std::string &name, int size) {
        w->Command4->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return open(name, size);
    }
    bool idle(FrmWipe *w, const QColor &bar) {
        return w->Picture1->background() == bar && w->Label1->text() == "0 %" && w->Label3->isHidden() &&
               w->isEnabled();
    }
    std::string said(std::size_t i) const { return t.messages.shown.at(i).text; }
    test::TestServices t;
    test::TempDir dir;
    Hook hook;
    std::string path;
};
} // namespace

class FrmWipeTest : public QObject {
    Q_OBJECT
private slots:
    void closingReleasesTheWindow() {
        Env e;
        FrmWipe *w = e.open("", -1, true);
        QVERIFY(w->isVisible() && !w->Command2->isEnabled()); // empty box from the hide window
        // Closing releases the instance: the next opening starts afresh.
        w->Command4->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!e.t.registry.existing("frmWipe"));
        QWidget hideWindow;
        ShowShredder(e.t.services, "/x/y.txt", &hideWindow);
        w = qobject_cast<FrmWipe *>(e.t.registry.existing("frmWipe"));
        QVERIFY(w->Option1[0]->isChecked() && w->Command2->isEnabled() && w->Fname->text() == "/x/y.txt");
    }

    void chooseAndDestroy() {
        Env e;
        FrmWipe *w = e.open("", -1);
        const std::string path = e.dir.file("brief.doc");
        test::WriteAll(path, test::RandomBytes(20000));
        e.t.dialogs.openAnswers = {Q8(path), ""};
        w->Command1->click();
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(e.t.messages.shown.size(), size_t(1));
        QCOMPARE(e.t.messages.shown[0].text, "Soll die  Datei " + path + " jetzt unwiderruflich zerstört werden?");
        QVERIFY(std::filesystem::is_empty(e.dir.path()) && e.t.pump.calls >= 5);
        QVERIFY(w->Label1->text() == "100 %" && !w->Label3->isHidden() && w->isEnabled());

        w->Command1->click(); // cancelled dialog: empty path, destroy disabled, display reset
        QVERIFY(w->Fname->text().isEmpty() && !w->Command2->isEnabled() && w->Label3->isHidden());
    }

    void refusalsLeaveTheFile() {
        Env e;
        FrmWipe *w = e.open(".versteckt", 6); // hidden files are reported not found
        w->Command2->click();
        QVERIFY(e.t.messages.shown.size() == 1 && e.t.messages.contains("Die Datei wurde nicht gefunden."));
        QCOMPARE(test::ReadAll(e.path).size(), size_t(6));

        // A typed path is not taken: destroying needs a chosen file.
        w = e.reopen(w, "", -1);
        QTest::keyClicks(w->Fname, Q8(e.dir.file(".versteckt")));
        w->Command2->click();
        QVERIFY(!w->Command2->isEnabled() && e.t.messages.shown.size() == 1);

        // Read-only: "No" keeps it protected and whole, "Yes" unprotects and destroys.
        w = e.reopen(w, "schutz.txt", 6);
        platform::SetFileAttributes(e.path, platform::AttrReadOnly);
        e.t.messages.answers = {Answer::No};
        w->Command2->click();
        QCOMPARE(e.said(1), "Die Datei " + e.path + " ist schreibgeschützt. Soll der Schreibschutz entfernt werden?");
        QVERIFY(platform::GetFileAttributes(e.path) == platform::AttrReadOnly && test::ReadAll(e.path).size() == 6);
        e.t.messages.answers = {Answer::Yes, Answer::Yes};
        w->Command2->click();
        QVERIFY(!platform::FileExists(e.path));

        // A symbolic link is refused before any question; link and target stay whole.
        const std::string target = e.dir.file("ziel.txt");
        test::WriteAll(target, std::string("geheim"));
        std::filesystem::create_symlink(target, e.dir.file("link.txt"));
        w = e.reopen(w, "link.txt", -1);
        const std::size_t before = e.t.messages.shown.size();
        w->Command2->click();
        QVERIFY(e.t.messages.shown.size() == before + 1 &&
                e.t.messages.contains("ist eine Verknüpfung (symbolischer Link)"));
        QVERIFY(test::ReadAll(target).size() == 6 && std::filesystem::is_symlink(e.path));
    }

    void fileThatCannotBeRenamedIsReported() {
        Env e(Program::A);
        // Every ".del" name of this minute and the next is taken.
        const std::time_t now = std::time(nullptr);
        for (std::time_t t : {now, now + 60}) {
            std::tm when = *std::localtime(&t);
            for (when.tm_sec = 0; when.tm_sec < 60; ++when.tm_sec)
                test::WriteAll(e.dir.file(DelFileName(when)), std::string("x"));
        }
        FrmWipe *w = e.open("bleibt.txt", 10000, true);
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(e.hook.labels.size(), 42); // all seven passes ran before the rename failed
        QCOMPARE(e.said(1),
                 "Die Datei " + e.path + " konnte nicht gelöscht werden! Starten sie das Programm als Administrator.");
        QVERIFY(e.idle(w, FrmWipe::FailedColour()) && platform::FileSize(e.path) == 0);
    }

    void failedPassStopsTheRun() {
        Env e;
        FrmWipe *w = e.open("weg.txt", 100, true);
        int passes = 0;
        e.hook.afterPass = [&](const std::string &p) { // the name then holds a folder: never touched
            ++passes;
            std::filesystem::remove(p);
            std::filesystem::create_directory(p);
        };
        e.t.messages.answers = {Answer::Yes};
        w->Command2->click();
        QCOMPARE(passes, 1);
        QVERIFY(e.said(1).find("durch eine andere Datei oder eine Verknüpfung ersetzt") != std::string::npos);
        QVERIFY(e.t.messages.shown.size() == 2 && e.idle(w, FrmWipe::IdleColour()));
        QVERIFY(std::filesystem::is_directory(e.path));
    }
};

QTEST_MAIN(FrmWipeTest)
#include "frmWipe_test.moc"
