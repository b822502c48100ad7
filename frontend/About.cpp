#include "About.h"

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QtDebug>

#include "JpegImage.h"
#include "ui_About.h"

namespace {

const char kPictureResource[] = ":/about.jpg";
const QColor kNavy(0, 0, 128);

// The box was drawn with Windows fonts; the fallbacks have close metrics where installed.
QStringList SansFamilies() {
    return {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"};
}

QStringList SerifFamilies() { return {"Times New Roman", "Liberation Serif", "DejaVu Serif"}; }

struct TextLook {
    bool serif;
    int pixelSize;
    bool bold;
    bool italic;
    bool underline;
    QColor colour;
};

void ApplyLook(QLabel& label, const TextLook& look) {
    QFont font;
    font.setFamilies(look.serif ? SerifFamilies() : SansFamilies());
    font.setStyleHint(look.serif ? QFont::Serif : QFont::SansSerif);
    font.setPixelSize(look.pixelSize);
    font.setBold(look.bold);
    font.setItalic(look.italic);
    font.setUnderline(look.underline);
    label.setFont(font);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, look.colour);
    label.setPalette(palette);
}

void CentreOnScreen(QWidget& widget) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    widget.move(screen->availableGeometry().center() - widget.rect().center());
}

bool IsLeftButton(const QEvent* event) {
    return static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(517, 193);
    SetUpLook();
    LoadPicture();
    ui->Label3->installEventFilter(this);

    Timer1.setSingleShot(true);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(kStartScreenMs);
    connect(&Timer1, &QTimer::timeout, this, &TAboutBox::Timer1Timer);
    CentreOnScreen(*this);
}

TAboutBox::~TAboutBox() = default;

QUrl TAboutBox::MakerAddress() { return QUrl(QStringLiteral("https://kelmo.example.org")); }

void TAboutBox::SetUpLook() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);

    ApplyLook(*ui->OrganisationLine, {false, 16, true, false, false, kNavy});
    ApplyLook(*ui->Label3, {false, 16, false, false, true, kNavy});
    ApplyLook(*ui->Label4, {true, 19, true, true, false, kNavy});
    ApplyLook(*ui->Label1, {true, 16, true, true, false, kNavy});
    ApplyLook(*ui->CreditsLine, {false, 11, false, false, false, Qt::black});
}

// A missing or broken picture leaves the box without it rather than stopping the program.
void TAboutBox::LoadPicture() {
    QFile file(kPictureResource);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("About box picture %s is missing", kPictureResource);
        return;
    }
    try {
        ui->Image1->setPixmap(QPixmap::fromImage(DecodeJpeg(file.readAll())));
    } catch (const JpegError& error) {
        qWarning("About box picture %s: %s", kPictureResource, error.what());
    }
}

void TAboutBox::ShowAsStartScreen() {
    Timer1.start();
    exec();
    // Closed early by the user: the timer must not close the box again later.
    Timer1.stop();
}

void TAboutBox::ShowOnRequest() {
    show();
    raise();
    activateWindow();
}

void TAboutBox::Timer1Timer() {
    Timer1.stop();
    close();
}

void TAboutBox::Label3Click() { QDesktopServices::openUrl(MakerAddress()); }

void TAboutBox::Label3DblClick() { Label3Click(); }

// A double click arrives as press, release, double click, release: the first release is the
// click, the double click its own event, and the last release belongs to the double click.
bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui->Label3) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonRelease && IsLeftButton(event)) {
        const bool ownRelease = ignoreNextRelease;
        ignoreNextRelease = false;
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (!ownRelease && ui->Label3->rect().contains(at)) Label3Click();
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick && IsLeftButton(event)) {
        ignoreNextRelease = true;
        Label3DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void StartScreen(TAboutBox& aboutBox, QWidget& mainForm) {
    aboutBox.ShowAsStartScreen();
    mainForm.showMaximized();
}

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/kelmo-preview-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/kelmo-preview-128.png"), QSize(128, 128));
    return icon;
}
