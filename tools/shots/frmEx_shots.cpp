// Saves pictures of both extract windows after a run, for layout review:
//   frmEx_shots <output folder>
#include "crypto/register.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"
#include "fakes_ui.h"
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"

#include <QApplication>
#include <QDir>
#include <QTest>

using namespace kalmira;

namespace {
QString QS(const std::string &s) { return QString::fromStdString(s); }

void Save(QWidget &w, const QString &file) {
    QTest::qWait(100);
    w.grab().save(file);
}

// Hides through the hide window, then opens the carrier in the extract window.
template <class Hide, class Extract>
void HideAndExtract(Hide &v, Extract &e, test::TestServices &t, const std::string &carrier) {
    v.pauseFor = [](double) {};
    v.askPassword = [] { return std::optional<QString>(crypto::PaddedPassword("Sesam")); };
    t.dialogs.openAnswers.push_back(QS(carrier));
    v.Befehl2->click();
    v.Befehl1->click();
    e.pauseFor = [](double) {};
    e.askPassword = [&e] { e.Text1->setText(crypto::PaddedPassword("Sesam")); };
    e.show();
    t.dialogs.openAnswers.push_back(QS(carrier));
    e.Command1->click();
    e.Command2->click();
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : ".";
    QDir().mkpath(out);
    test::TempDir dir;
    {
        test::TestServices t(Program::B);
        const std::string doc = dir.file("Jahresbericht 2023.pdf");
        test::WriteAll(doc, test::RandomBytes(25000, 2));
        test::WriteAll(dir.file("carrier.bmp"), test::MakeBmp(300, 300));
        hide::FrmVFile v(t.services);
        t.dialogs.openAnswers = {QS(doc)};
        v.Command3->click();
        extract::FrmExFile e(t.services);
        t.dialogs.saveAnswers = {QS(dir.file("zurück.pdf"))};
        HideAndExtract(v, e, t, dir.file("carrier.bmp"));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(e.Command5, &enter);
        e.Label5->show();
        Save(e, out + "/frmEx_KalmiraB.png");
    }
    {
        test::TestServices t(Program::A);
        test::WriteAll(dir.file("msg.bmp"), test::MakeBmp(200, 200));
        hide::FrmVMessage v(t.services);
        QString text;
        for (int i = 1; i <= 12; ++i)
            text += QString("Zeile %1: Treffpunkt morgen um 10 Uhr am Brunnen, bitte pünktlich sein und die "
                            "Unterlagen mitbringen.\n")
                        .arg(i);
        v.Text2->setPlainText(text);
        v.optCrypt[1]->click();
        extract::FrmExMessage e(t.services);
        HideAndExtract(v, e, t, dir.file("msg.bmp"));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(e.Command8, &enter);
        Save(e, out + "/frmEx_KalmiraA.png");
        e.Check1->click();
        Save(e, out + "/frmEx_KalmiraA_wrapped.png");
    }
    return 0;
}
