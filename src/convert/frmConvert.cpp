#include "convert/frmConvert.h"

#include "convert/convert_texts.h"
#include "convert/image_memory.h"
#include "platform/platform.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"
#include "shell/window_parts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

namespace kalmira::convert {

namespace {
// The check mark of the on/off box (the symbol font's character 252 there).
const QString kCheckMark = QString(QChar(0x2714));
constexpr int kPreviewTwips = 2355;
constexpr int kDesignWidth = 430;

// Window managers draw the caption in a bold font of their own, often larger
// than the application's, beside the icon and three buttons: a fixed window
// narrower than that shows the caption cut off.
int CaptionFitWidth(const QString &caption) {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(caption) * 5 / 4 + 160;
}

QImage ToImage(const Picture &p) {
    QImage img(p.width, p.height, QImage::Format_RGB32);
    for (int y = 0; y < p.height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < p.width; ++x) row[x] = 0xFF000000u | p.at(x, y);
    }
    return img;
}

// What the path label says when a picture cannot be loaded: a picture that
// is merely too large for the memory says so, with its size.
QString CannotShowText(const std::string &path) {
    const auto big = TooLargeToDecode(path);
    if (!big) return "Bild kann nicht angezeigt werden!";
    return QString("Bild ist zu groß für den Arbeitsspeicher: %1 x %2 Pixel brauchen %3 MB, "
                   "erlaubt sind %4 MB.")
        .arg(big->width)
        .arg(big->height)
        .arg(QLocale().toString(static_cast<qlonglong>(big->neededMb)))
        .arg(QLocale().toString(static_cast<qlonglong>(big->limitMb)));
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(geometry);
    return l;
}

QFrame *MakeFrame(QWidget *parent, const char *name, QFrame::Shape shape, QRect geometry) {
    auto *f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(shape);
    f->setGeometry(geometry);
    return f;
}

// The window watches its buttons for the hover colours.
QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setMouseTracking(true);
    b->installEventFilter(parent);
    return b;
}

// Restores the normal cursor on every way out of a handler.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};
} // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

FrmConvert::FrmConvert(Services &services, QWidget *parent) : QWidget(parent, Qt::Window), s_(services) {
    setObjectName("frmConvert");
    setWindowTitle("JPG,GIF,WMF,RLE,BMP(<24) -> nach 24  Bit TrueColor BMP");
    setFixedSize(kDesignWidth, 318);
    setMouseTracking(true);
    createPathControls();
    createPreview();
    createChoicesAndButtons();
    connectControls();

    widenForCaption();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
    conv_dir = WithSeparator(Q(platform::ProgramFolder()));
}

void FrmConvert::createPathControls() {
    Image1 = MakeLabel(this, "Image1", "", QRect(12, 8, 32, 32));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DesktopIcon).pixmap(32, 32));
    Label1 = MakeLabel(this, "Label1", "Zu konvertierende Bilddatei laden:", QRect(52, 14, 220, 20));
    Command1 = MakeButton(this, "Command1", "", QRect(280, 8, 44, 32));
    Command1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    Command1->setIconSize(QSize(24, 24));
    Label2 = MakeLabel(this, "Label2", "", QRect(12, 46, 406, 34));
    Label2->setWordWrap(true);
    Line1 = MakeFrame(this, "Line1", QFrame::HLine, QRect(8, 84, 414, 4));
}

void FrmConvert::createPreview() {
    Picture2 = MakeFrame(this, "Picture2", QFrame::NoFrame, QRect(20, 104, 165, 165));
    Picture2->setMouseTracking(true);
    Picture2->installEventFilter(this);
    Picture2->setStyleSheet("QFrame#Picture2 { background: white; }");
    // Frame shape 40 twips outside the preview area on every side.
    const int out = TwipsToPixels(40), grow = TwipsToPixels(80);
    Shape1 = MakeFrame(this, "Shape1", QFrame::Box, Picture2->geometry().adjusted(-out, -out, grow - out, grow - out));
    Shape1->lower();
    Anzeige1 = new QLabel(Picture2);
    Anzeige1->setObjectName("Anzeige1");
    Anzeige1->setMouseTracking(true);
    Anzeige1->installEventFilter(this);
    Anzeige1->hide();
    Picture1 = new QLabel(this);
    Picture1->setObjectName("Picture1");
    Picture1->hide();
}

void FrmConvert::createChoicesAndButtons() {
    Shape2 = MakeFrame(this, "Shape2", QFrame::Box, QRect(204, 100, 216, 52));
    Label3 = new ClickLabel(kCheckMark, this);
    Label3->setObjectName("Label3");
    Label3->setGeometry(212, 112, 22, 22);
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setFrameShape(QFrame::Box);
    Label4 = new ClickLabel("Für Kalmira optimiert konvertieren (siehe Info)", this);
    Label4->setObjectName("Label4");
    Label4->setGeometry(242, 104, 172, 40);
    Label4->setWordWrap(true);

    Shape3 = MakeFrame(this, "Shape3", QFrame::Box, QRect(204, 164, 216, 112));
    Command2 = MakeButton(this, "Command2", "Convert", QRect(214, 176, 94, 32));
    Command2->setEnabled(false);
    Command4 = MakeButton(this, "Command4", "Info", QRect(316, 176, 94, 32));
    Command5 = MakeButton(this, "Command5", "End", QRect(265, 230, 94, 32));
    Command3 = new QPushButton("Command3", this);
    Command3->setObjectName("Command3");
    Command3->hide();
    for (QPushButton *b : {Command1, Command2, Command4, Command5}) setBackColour(b, kButtonColour);
    // Reducing averages whole blocks of pixels, so that the 8 x 8 grid of a
    // JPEG-derived picture no longer shows (the stealth format needs that).
    Label5 = MakeLabel(this, "Label5", "verkleinern um", QRect(214, 288, 100, 20));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName("Combo1");
    Combo1->addItems({"1", "2", "3", "4"});
    Combo1->setGeometry(316, 284, 94, 26);
}

void FrmConvert::connectControls() {
    connect(Command1, &QPushButton::clicked, this, [this] { load(); });
    connect(Command3, &QPushButton::clicked, this, [this] { loadAndPreview(); });
    connect(Label3, &ClickLabel::clicked, this, [this] { toggleOptimised(); });
    connect(Label4, &ClickLabel::clicked, this, [this] { toggleOptimised(); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] {
        if (!Label2->text().isEmpty()) Command3->click();
    });
    connect(Command2, &QPushButton::clicked, this, [this] { convert(); });
    connect(Command4, &QPushButton::clicked, this, [this] { info(); });
    connect(Command5, &QPushButton::clicked, this, [this] { close(); });
}

void FrmConvert::widenForCaption() {
    // The controls keep their places, centred in the extra room; the path
    // and the line under it use the whole width.
    const int wide = std::max(kDesignWidth, CaptionFitWidth(windowTitle()));
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->move(child->pos() + QPoint((wide - kDesignWidth) / 2, 0));
    setFixedWidth(wide);
    Label2->setGeometry(12, Label2->y(), wide - 24, Label2->height());
    Line1->setGeometry(8, Line1->y(), wide - 16, Line1->height());
}

std::uint32_t FrmConvert::backColour(const QPushButton *button) { return button->property("BackColor").toUInt(); }

void FrmConvert::setBackColour(QPushButton *button, std::uint32_t colour) {
    if (button->property("BackColor").isValid() && backColour(button) == colour) return;
    button->setProperty("BackColor", colour);
    const QColor c(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    button->setStyleSheet(QString("QPushButton { background-color: %1; }").arg(c.name()));
}

void FrmConvert::hover(QPushButton *over) {
    for (QPushButton *b : {Command1, Command2, Command4, Command5})
        setBackColour(b, b == over ? kHoverColour : kButtonColour);
}

bool FrmConvert::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (auto *b = qobject_cast<QPushButton *>(watched)) {
            hover(b);
        } else if (watched == Picture2 || watched == Anzeige1) {
            hover(nullptr);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmConvert::mouseMoveEvent(QMouseEvent *event) {
    // Moves over a button arrive here too once the button has passed them on.
    if (!qobject_cast<QPushButton *>(childAt(event->position().toPoint()))) hover(nullptr);
    QWidget::mouseMoveEvent(event);
}

void FrmConvert::closeEvent(QCloseEvent *event) {
    event->accept();
    // Unloading releases the instance: the next opening starts afresh.
    s_.registry->unload("frmConvert");
}

void FrmConvert::clearPicture() {
    Anzeige1->clear();
    Anzeige1->hide();
    picture1_ = Picture{};
    Picture1->clear();
}

void FrmConvert::load() {
    QString folder = conv_dir;
    conv_title.clear();
    conv_title = ShowOpenDialog(s_, this, "Zu konvertierende Datei öffnen", folder, "",
                                "Bilddateien (*.jpg;*.gif;*.wmf;*.rle;*.bmp)"
                                "|*.jpg;*.gif;*.wmf;*.rle;*.bmp| Alle Dateien (*.*)|*.*",
                                "*.*");
    folder = WithSeparator(folder);
    if (!conv_title.isEmpty()) {
        Label2->setText(folder + conv_title);
        conv_dir = folder; // the folder the dialog ended in
        Command3->click();
        Command2->setEnabled(true);
    } else {
        Command2->setEnabled(false);
        clearPicture();
        Label2->clear();
    }
}

void FrmConvert::loadAndPreview() {
    WaitCursor wait;
    const int box = TwipsToPixels(kPreviewTwips);
    Anzeige1->hide();
    Anzeige1->resize(box, box);
    Anzeige1->setScaledContents(false);

    const std::string path = S(Label2->text());
    picture1_ = Picture{}; // the old picture must not share the memory with the new one
    auto shown = LoadPicture(path);
    if (!shown) {
        // Nothing of an earlier picture may be written under this one's name.
        clearPicture();
        Label2->setText(CannotShowText(path));
        return;
    }

    // Fit into the preview square, keeping the proportions.
    int w = shown->width, h = shown->height;
    if (w > h) {
        h = static_cast<int>(static_cast<double>(box) * h / w);
        w = box;
    } else if (h > w) {
        w = static_cast<int>(box / (static_cast<double>(h) / w));
        h = box;
    } else if (w * 15 > 20) {
        w = h = box;
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    Anzeige1->setScaledContents(true);
    // A large picture is shrunk before it becomes a pixmap: a full-size copy
    // of a camera picture would only be scaled down on screen anyway.
    const bool large = static_cast<std::int64_t>(shown->width) * shown->height > 4LL * w * h;
    Anzeige1->setPixmap(QPixmap::fromImage(ToImage(large ? ScaleSmooth(*shown, w, h) : *shown)));
    Anzeige1->resize(w, h);
    Anzeige1->move((Picture2->width() - w) / 2 - TwipsToPixels(20), (Picture2->height() - h) / 2 - TwipsToPixels(20));
    Anzeige1->show();

    picture1_ = std::move(*shown);
    Reduce(picture1_, reduceBy());
    if (opt_convert == 1 && !elim_padbytes(picture1_, path)) {
        clearPicture();
        Label2->setText(CannotShowText(path));
        return;
    }
    Picture1->resize(picture1_.width, picture1_.height);
}

void FrmConvert::toggleOptimised() {
    if (Label3->text() != kCheckMark) {
        Label3->setText(kCheckMark);
        opt_convert = 1;
    } else {
        Label3->clear();
        opt_convert = 0;
    }
    if (!Label2->text().isEmpty()) Command3->click();
}

void FrmConvert::convert() {
    conv_dir = WithSeparator(Q(platform::ProgramFolder()));
    // The extension is replaced by position: "x.jpeg" becomes "x.jbmp".
    if (conv_title.size() < 3) return;
    const QString proposed = conv_title.left(conv_title.size() - 3) + "bmp";
    const QString name =
        ShowSaveDialog(s_, this, "Konvertierte Bilddatei speichern unter ...", conv_dir, proposed,
                       "24-Bit TrueColor BMP-Bild (*.bmp)|*.bmp|PNG-Bild, 8 Bit RGB (*.png)|*.png", "*.bmp");
    if (name.isEmpty()) return;
    const std::string target = S(conv_dir + name);
    const bool png = OutputTypeOf(target) == OutputType::Png;
    // An older file is replaced by the writers only once the new one is
    // complete, so a failed save keeps it.
    if (platform::IsRegularFile(target)) platform::SetFileAttributes(target, platform::AttrNormal);

    std::int64_t r = 0;
    int error = 0;
    {
        WaitCursor wait;
        r = png ? SavePng(picture1_, target, &error) : save_bitmap(picture1_, 24, target, nullptr, &error);
    }
    if (const auto why = SaveFailureText(r, error)) s_.messages->show(Icon::None, S(s_.programName()), *why);
    if (r < 1) {
        s_.messages->show(Icon::Critical, "Bildconverter-Error-Nachricht",
                          png ? "Fehler beim Speichern des PNG-Bildes!" : "Fehler beim Speichern der Bitmap!");
    } else {
        s_.messages->show(Icon::Information, "BildConverter-Nachricht",
                          S("Die Bilddatei \"" + conv_title + "\" wurde in eine " +
                            (png ? "PNG-Datei (8 Bit RGB)" : "24-Bit Datei") + " konvertiert."));
    }
}

void FrmConvert::info() {
    const std::string text =
        "Das Programm KalmiraA(b) liefert die besten Ergebnisse nur bei Verwendung "
        "von TrueColor BMP-Containerdateien mit einer Farbtiefe von 24-Bit. "
        "Mit dem BildConverter können BMP-Bilder mit einer geringeren Farbtiefe oder andere "
        "Bildformate (JPG,GIF,WMF und RLE) in 24-Bit TrueColor Bilddateien umgewandelt werden "
        "(unabhängig von der Einstellung der Farbtiefe in der Systemsteuerung). Die Bildqualität "
        "wird dabei natürlich nicht erhöht, nur das Speicherformat wird verändert.\r\n"
        "Ist die CheckBox \"Für Kalmira optimiert konvertieren\" aktiviert, wird eine 24-Bit Bilddatei "
        "erzeugt die keine PadBytes (chr(0) Füllbytes) enthält. Es entsteht eine BMP-Datei "
        "deren Bildbreite (in Pixel) ohne Rest durch 4 teilbar ist. Solche BMP-Dateien sind für Kalmira "
        "besonders gut geeignet. Die Bildbreite und Bildhöhe können sich dabei um maximal 2 Pixel verändern.";
    s_.messages->show(Icon::Information, "BildConverter - Info", text);
}

} // namespace kalmira::convert
