// KalmiraA's side of frmV: the two message boxes and loading a text file.
#include "hide/frmV.h"

#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

#include <QFile>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>

namespace kalmira::hide {

namespace {
const char *const kMessageHelp =
    "Text direkt eingeben, Text aus ClipBoard einfügen (rechte Maust.->Einf.),Textdatei laden oder "
    "Drag&Drop.";

// The boxes hold "\n"; the message, as a Windows text box held it, CR LF.
QString WithCrLf(QString text) { return text.replace('\n', "\r\n"); }

// Bytes of the message a box text makes (one per character, two per line break).
qsizetype MessageLength(const QString &boxText) { return boxText.size() + boxText.count('\n'); }

// Plain text: no control characters but tab, line feed, form feed and carriage
// return. The end-of-file character 0x1A, which stops a text reader, is one of them.
bool IsPlainText(const QByteArray &bytes) {
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') return false;
    }
    return true;
}
} // namespace

const char *FrmV::HintText() {
    return "Hier eine zu versteckende Botschaft eingeben, eine ASCII-Textdatei \r\n"
           "in dieses Textfeld laden oder eine Textdatei per Drag&Drop auf dieses\r\n"
           "Textfeld ziehen.";
}

void FrmV::buildMessagePartA() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto box = [&](const char *name, bool wrap) {
        auto *t = new QPlainTextEdit(this);
        t->setObjectName(name);
        t->setFont(fixed);
        t->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        t->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        t->setPlainText(Q(HintText()));
        t->viewport()->installEventFilter(this);
        t->viewport()->setAcceptDrops(true);
        t->installEventFilter(this);
        help_.insert(t, kMessageHelp);
        return t;
    };
    Text2 = box("Text2", false);
    Text4 = box("Text4", true);
    Text4->hide();
    Check2 = new QCheckBox("*", this);
    Check2->setObjectName("Check2");
    lblSize = label("lblSize", "");
    lblSize->setWordWrap(true);
    watch(Check2, "Umschaltung Zeilenumbruch <--> kein Zeilenumbruch");

    connect(Text2, &QPlainTextEdit::textChanged, this, [this] { messageChanged(Text2); });
    connect(Text4, &QPlainTextEdit::textChanged, this, [this] { messageChanged(Text4); });
    connect(Check2, &QCheckBox::clicked, this, [this] { toggleWrap(); });
}

void FrmV::layoutA() {
    constexpr int margin = 16, width = 672, inner = width - 2 * margin, rowH = 30, picture = 176;
    int y = 12;
    Label1->setGeometry(margin, y, inner, 26);
    y += 36;
    Text2->setGeometry(margin, y, inner - 36, 200);
    Text4->setGeometry(Text2->geometry());
    Check2->setGeometry(width - margin - 28, y, 28, 22);
    y += 206;
    lblSize->setGeometry(margin, y, inner, 36);
    y += 44;
    const int fieldX = 248;
    Command3->setGeometry(margin, y, 218, rowH);
    Text5->setGeometry(fieldX, y + 3, width - margin - 5 - fieldX, 24);
    y += 44;
    Befehl2->setGeometry(margin, y, 218, rowH);
    Text1->setGeometry(fieldX, y + 3, width - margin - 5 - fieldX, 24);
    Label3->setGeometry(fieldX, y + 34, width - margin - 5 - fieldX, 20);
    y += 70;
    // The picture sits on the left here ("im linken Bildfeld").
    Picture2->setGeometry(margin + 5, y, picture, picture);
    const int optX = margin + picture + 32, optW = width - margin - optX;
    Check1->setGeometry(optX, y, optW, 24);
    Label7->setGeometry(optX + 22, y + 28, 180, 22);
    optCrypt[0]->setGeometry(optX + 206, y + 28, 64, 22);
    optCrypt[1]->setGeometry(optX + 276, y + 28, 64, 22);
    checkKopie->setGeometry(optX, y + 58, optW, 24);
    checkBmpShow->setGeometry(optX, y + 86, optW, 24);
    Befehl1->setGeometry(optX, y + 128, optW, 44);
    y += picture + 24;
    QPushButton *tools[] = {Command6, Command5, Command9, Command10, Command8, Command11, Command7};
    const int gap = 8, bw = (inner - 6 * gap) / 7;
    for (int i = 0; i < 7; ++i) tools[i]->setGeometry(margin + i * (bw + gap), y, bw, rowH);
    y += rowH + 12;
    Command2->setGeometry(margin, y, 120, rowH);
    Command1->setGeometry(width - margin - 120, y, 120, rowH);
    y += rowH + 12;
    Label2->setGeometry(margin, y, inner, 42);
    Label6->setGeometry(width - margin - 60, y - 20, 60, 18);
    setFixedSize(width, y + 42 + 12);
}

std::string FrmV::messageAnsi() const {
    if (!Text2) return {};
    const QPlainTextEdit *shown = Text2->isHidden() ? Text4 : Text2;
    return platform::AnsiFromUtf8(S(WithCrLf(shown->toPlainText())));
}

void FrmV::messageChanged(QPlainTextEdit *from) {
    if (syncing_) return;
    QPlainTextEdit *other = from == Text2 ? Text4 : Text2;
    QString text = from->toPlainText();
    syncing_ = true;
    // The box holds no more than the largest message (typed or pasted text).
    const qsizetype max = s_.maxMessageSize;
    if (MessageLength(text) > max) {
        qsizetype bytes = 0, keep = 0;
        while (keep < text.size() && bytes + (text[keep] == '\n' ? 2 : 1) <= max)
            bytes += text[keep++] == '\n' ? 2 : 1;
        text.truncate(keep);
        from->setPlainText(text);
        from->moveCursor(QTextCursor::End);
    }
    other->setPlainText(text);
    syncing_ = false;
    const qsizetype length = MessageLength(text);
    lblSize->setText(length == 0 ? QString("Botschaft: 0 Byte")
                                 : Q("Botschaft: " + FormatThousands(length) + " Byte"));
}

void FrmV::clearHint() {
    setHelp(kMessageHelp);
    if (working_) return;
    QString hint = Q(HintText());
    hint.remove('\r');
    QPlainTextEdit *shown = Text2->isHidden() ? Text4 : Text2;
    if (shown->toPlainText() == hint) shown->clear();
}

void FrmV::toggleWrap() {
    const bool toWrapped = !Text2->isHidden();
    Text2->setVisible(!toWrapped);
    Text4->setVisible(toWrapped);
    Check2->setChecked(toWrapped);
}

void FrmV::loadTextFile() {
    if (working_) return;
    Text5->clear();
    Text2->clear(); // the other box follows
    nameField_.clear();
    Check2->setChecked(false);
    Text2->show();
    Text4->hide();

    QString path;
    if (!droppedFile_.isEmpty()) {
        path = droppedFile_;
        droppedFile_.clear();
        if (Q(ExtensionOf(S(path))).toLower() != ".txt") {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              "Es können nur TXT Dateien ausgewählt werden.");
            return;
        }
    } else {
        QString folder = lastFileFolder_;
        const QString name = ShowOpenDialog(s_, this, "Die zu versteckende Textdatei öffnen", folder, "",
                                            "ASCII Textdateien (*.txt)|*.txt| Alle Dateien (*.*)|*.*", "*.*");
        if (name.isEmpty()) return;
        if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\'))
            folder += QLatin1Char(platform::PathSeparator());
        lastFileFolder_ = folder;
        path = folder + name;
    }
    const std::string p = S(path);
    std::optional<std::string> field = payload::NameField(FileNameOf(p));
    if (!field) {
        s_.messages->show(Icon::Exclamation, "KalmiraA-Nachricht",
                          "Der Dateiname \"" + FileNameOf(p) +
                              "\" ist zu lang und lässt sich nicht auf 25 Zeichen kürzen. Bitte die "
                              "Datei umbenennen.");
        return;
    }
    const std::int64_t length = platform::FileSize(p);
    if (length < 0) return;
    auto tooLarge = [&](std::int64_t size) {
        s_.messages->show(Icon::Exclamation, "KalmiraA-Nachricht",
                          "Die Datei ist " + std::to_string(size) +
                              " Byte gross. Die zu versteckende Datei darf für KalmiraA nicht grösser " +
                              std::to_string(s_.maxMessageSize) + " Byte sein. Bitte KalmiraB verwenden.");
    };
    if (length > s_.maxMessageSize) return tooLarge(length);

    Text5->setText(path);
    setBusy(true);
    setWindowTitle(">>>>>>>>>> Textdatei wird geladen <<<<<<<<<<");
    QWidget::repaint();
    QFile file(path);
    const bool read = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = read ? file.readAll() : QByteArray();
    setBusy(false);
    setWindowTitle(restCaption());
    if (!read) {
        Text5->clear();
        return;
    }
    if (!IsPlainText(bytes)) {
        Text5->clear();
        s_.messages->show(Icon::Exclamation, S(s_.programName()),
                          "Die ausgewählte Datei ist keine ASCII Textdatei! KalmiraA kann nur ASCII "
                          "Textdateien verstecken. Zum Verstecken von Binärdateien können Sie KalmiraB "
                          "verwenden.");
        return;
    }
    QString text = Q(platform::Utf8FromAnsi(std::string_view(bytes.constData(), bytes.size())));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    // Bare line feeds become CR LF in the message: it must still fit.
    if (MessageLength(text) > s_.maxMessageSize) {
        Text5->clear();
        return tooLarge(MessageLength(text));
    }
    nameField_ = *field;
    Text2->setPlainText(text);
}

} // namespace kalmira::hide
