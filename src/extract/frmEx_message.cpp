#include "extract/frmEx_message.h"

#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/temp_file.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <cstdio>

namespace kalmira::extract {

namespace {
const FrmExTexts kTexts{
    "KalmiraA - Extraktion",
    "Botschaft aus einer BMP-Bild oder einer WAV- Sounddatei extrahieren",
    "BMP-Container beim Öffnen im Anzeigefeld darstellen?",
    "Text aus Bild- oder Wav-Datei extrahieren",
    ">>",
    "Beenden",
    "Bild zeigen",
    "Play",
    "Show",
    "BMP o. WAV-Datei (mit der versteckten Botschaft) öffnen",
    "Die ContainerDatei wurde nicht gefunden!",
    "Es ist keine BMP-Bilddatei mit versteckter Botschaft ausgewählt.",
    "Eine BMP-Containerdatei wird im linken Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit.",
    "BMP- oder WAV-Datei mit einer eingebetteten, versteckten Botschaft öffnen.",
    "Es wird die vorher versteckte Botschaft aus der ausgewählten BMP- oder WAV-Datei extrahiert.",
    "-> Zum Programmteil \"Botschaften verstecken\".",
    "Spielt die oben ausgewählte Container WAV-Datei (mit versteckter Botschaft) ab.",
    "Zeigt die oben ausgewählte Container BMP-Bilddatei (mit versteckter Botschaft) in Originalgröße.",
    "Name der BMP oder WAV Datei, welche die versteckte Botschaft enthält."};
} // namespace

FrmExMessage::FrmExMessage(Services &services) : FrmEx(services, kTexts) {
    Check1 = new QCheckBox("*", this);
    Check1->setObjectName("Check1");
    Command6 = button("Command6", "Extrahierte Botschaft speichern");
    Command6->setEnabled(false);
    Command5->hide(); // the preview, pressed from code only
    QFont mono("Courier New");
    mono.setStyleHint(QFont::TypeWriter);
    auto box = [&](const char *name, bool wrap) {
        auto *t = new QPlainTextEdit(this);
        t->setObjectName(name);
        t->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        t->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        t->setFont(mono);
        t->setMinimumHeight(220);
        help_->add(t, "Hier wird die extrahierte Botschaft angezeigt.");
        return t;
    };
    Text3 = box("Text3", false);
    Text2 = box("Text2", true);
    Text2->hide();
    // The two boxes hold the same text; the visible one is the master.
    auto mirror = [this](QPlainTextEdit *from, QPlainTextEdit *to) {
        connect(from, &QPlainTextEdit::textChanged, this, [this, from, to] {
            if (syncing_ || from->isHidden()) return;
            syncing_ = true;
            to->setPlainText(from->toPlainText());
            syncing_ = false;
        });
    };
    mirror(Text3, Text2);
    mirror(Text2, Text3);
    connect(Command5, &QPushButton::clicked, this,
            [this] { ownCarrierUsable_ = ShowMessageWindowThumbnail(s_, this, Text4->text()); });
    connect(Check1, &QCheckBox::clicked, this, [this] { toggleWrap(); });
    connect(Command6, &QPushButton::clicked, this, [this] { saveMessage(); });
    help_->add(Check1, "Umschaltung Zeilenumbruch <--> kein Zeilenumbruch");
    help_->add(Command6, "Die extrahierte Botschaft in einer Textdatei speichern.");
    layOut();
}

void FrmExMessage::layOut() {
    QVBoxLayout *root = rootWithCarrierRow(checkBmpShow);

    // Display field with its tools left, the message right.
    auto *middle = new QHBoxLayout;
    middle->setSpacing(12);
    auto *left = new QVBoxLayout;
    left->addWidget(Shape1);
    auto *tools = new QHBoxLayout;
    tools->addWidget(Command8);
    tools->addWidget(Command7);
    left->addLayout(tools);
    left->addStretch();
    middle->addLayout(left);
    auto *message = new QGridLayout;
    message->setVerticalSpacing(4);
    message->addWidget(Text3, 0, 0);
    message->addWidget(Text2, 0, 0); // on top of each other, one of them shown
    message->addWidget(Check1, 1, 0);
    message->setRowStretch(0, 1);
    middle->addLayout(message, 1);
    root->addLayout(middle);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    Command2->setMinimumWidth(330);
    Command6->setMinimumWidth(260);
    Command6->setMinimumHeight(Command2->minimumHeight());
    actions->addStretch();
    actions->addWidget(Command2);
    actions->addWidget(Command6);
    actions->addStretch();
    root->addLayout(actions);

    auto *results = new QVBoxLayout(Shape2);
    results->setContentsMargins(10, 6, 10, 6);
    Label3->setWordWrap(true);
    Label3->setMinimumHeight(2 * fontMetrics().lineSpacing());
    results->addWidget(Label3);
    root->addWidget(Shape2);

    auto *bottom = new QHBoxLayout;
    for (QPushButton *b : {Command9, Command3, Command4}) b->setMinimumWidth(110);
    bottom->addWidget(Command9);
    bottom->addStretch();
    bottom->addWidget(Command3);
    bottom->addWidget(Command4);
    root->addLayout(bottom);
    root->addWidget(Label1);
    finish(root, 760);
}

void FrmExMessage::clearResults() {
    Check1->setChecked(false);
    showMessageText("");
}

void FrmExMessage::bmpChecked() {
    // The flag only stands for a shown preview.
    if (!checkBmpShow->isChecked()) ownCarrierUsable_ = false;
}

void FrmExMessage::clearForExit() {
    Text3->clear();
    Text2->clear();
}

void FrmExMessage::showMessageText(const std::string &ansi) {
    if (ansi.empty()) {
        Check1->setChecked(false);
        Text3->show();
        Text2->hide();
    }
    const QString text = Q(platform::Utf8FromAnsi(ansi));
    syncing_ = true;
    Text3->setPlainText(text);
    Text2->setPlainText(text);
    syncing_ = false;
    shownAnsi_ = ansi;
    shownText_ = Text3->toPlainText();
}

void FrmExMessage::toggleWrap() {
    const bool unwrapped = Text3->isHidden();
    Text3->setVisible(unwrapped);
    Text2->setVisible(!unwrapped);
}

void FrmExMessage::saveMessage() {
    QString text = Text3->toPlainText();
    if (text.isEmpty()) {
        s_.messages->show(Icon::None, "KalmiraA-Nachricht",
                          "Speichern abgebrochen. Das Textfeld ist leer. Es wurde noch keine Botschaft "
                          "extrahiert.");
        return;
    }
    QString folder = saveFolder();
    const QString name = ShowSaveDialog(s_, this, "Extrahierte Botschaft speichern unter", folder,
                                        hiddenName_.trimmed(), "Botschaft (*.txt)|*.txt", "*.txt");
    if (name.isEmpty()) return;
    savedIn(folder);
    const std::string dest = S(WithSeparator(folder) + name);
    // The box gives line breaks back as "\n": an unedited message is saved byte
    // for byte as it was extracted, an edited one with CR LF as it was hidden.
    const std::string bytes = text == shownText_ ? shownAnsi_ : platform::AnsiFromUtf8(S(text.replace('\n', "\r\n")));

    // Written beside the destination first, so a failed write keeps the old file.
    platform::StagedFile staged(dest);
    platform::BinaryFile f;
    const bool ok = staged.valid() && f.open(staged.path(), platform::BinaryFile::Mode::ReadWrite) &&
                    f.writeAt(0, bytes.data(), bytes.size()) && f.flush() && f.close() &&
                    staged.commit(true) == platform::StagedFile::Commit::Done;
    if (!ok)
        s_.messages->show(Icon::Critical, "Kalmira - Fehlernachricht",
                          "Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
}

} // namespace kalmira::extract
