// Saves pictures of both hide windows in typical states for layout review:
//   frmV_shots <output folder>
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"

#include "fakes_ui.h"
#include "stealth/stealth_texts.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace kalmira;

namespace {
// A carrier that looks like a picture in the thumbnail.
QString SceneBmp(const test::TempDir &dir) {
    QImage img(480, 320, QImage::Format_RGB888);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, 320);
    g.setColorAt(0, QColor(40, 90, 160));
    g.setColorAt(1, QColor(230, 190, 120));
    p.fillRect(img.rect(), g);
    p.setBrush(QColor(50, 110, 60));
    p.drawEllipse(QPoint(140, 360), 260, 140);
    p.end();
    const QString path = QString::fromStdString(dir.file("Urlaub am See.bmp"));
    img.save(path, "BMP");
    return path;
}

// The stealth format ticked, with the longest numbers a 100 MB sound gives.
void TickStealth(hide::FrmV &w, const QString &carrier, test::TestServices &t) {
    w.capacityOf = [](const std::string &) {
        stealth::CapacityResult cap;
        cap.outcome = stealth::CapacityResult::Outcome::Ok;
        cap.largestPayload = 6'502'964;
        cap.recommendedPayload = 1'300'592;
        return cap;
    };
    w.checkTarn->click();
    t.dialogs.openAnswers = {carrier};
    w.Befehl2->click();
    w.Label3->setText(QString::fromStdString(stealth::CapacityLine(104'857'644, w.capacityOf(""))));
}

void Save(QWidget &w, const QString &file) {
    w.show();
    QTest::qWait(50);
    w.grab().save(file);
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : ".";
    QDir().mkpath(out);
    test::TempDir dir;
    const QString bmp = SceneBmp(dir);
    test::WriteAll(dir.file("Jahresbericht 2004.pdf"), test::RandomBytes(40000));

    {
        test::TestServices t(Program::B);
        hide::FrmVFile w(t.services);
        Save(w, out + "/frmV_B_start.png");
        t.dialogs.openAnswers = {QString::fromStdString(dir.file("Jahresbericht 2004.pdf")), bmp};
        w.Command3->click();
        w.Befehl2->click();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(w.checkBmpShow, &enter);
        Save(w, out + "/frmV_B_ready.png");
        TickStealth(w, bmp, t);
        QApplication::sendEvent(w.checkTarn, &enter);
        Save(w, out + "/frmV_B_stealth.png");
    }
    {
        test::TestServices t(Program::A);
        hide::FrmVMessage w(t.services);
        Save(w, out + "/frmV_A_start.png");
        w.Text2->setPlainText("Treffen am Donnerstag um 20 Uhr, am üblichen Ort.\n"
                              "Bitte die Unterlagen mitbringen – Grüße, K.");
        t.dialogs.openAnswers = {bmp};
        w.Befehl2->click();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(w.Text2->viewport(), &enter);
        Save(w, out + "/frmV_A_ready.png");
        TickStealth(w, bmp, t);
        Save(w, out + "/frmV_A_stealth.png");
        w.Check2->click();
        w.Text4->setPlainText(QString("Eine lange Zeile, die im umbrechenden Textfeld umbricht. ").repeated(8));
        Save(w, out + "/frmV_A_wrapped.png");
    }
    return 0;
}
