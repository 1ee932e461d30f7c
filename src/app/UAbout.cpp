#include "app/UAbout.h"

#include "common/Version.h"

#include "app/ErrorHandler.h"
#include "app/ProgramIcon.h"
#include "common/Guard.h"
#include "midi_out/FluidSynthBackend.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <filesystem>
#include <system_error>

namespace app {

namespace {

constexpr int LargestIconSize = 256;

QFont Arial(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel *PlacedLabel(QWidget *parent, const char *name, const QString &text, QPoint position)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(position);
    return label;
}

QLabel *WrappedLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = PlacedLabel(parent, name, text, geometry.topLeft());
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->resize(geometry.size());
    return label;
}

} // namespace

QString CreditsText(const std::optional<std::string> &soundFont)
{
    QString text = TAboutBox::tr("MIDI Sonoret baut auf Qt (Fenster), RtMidi (ALSA-MIDI), JACK und "
                                 "FluidSynth (eingebauter Synthesizer) auf; ");
    if (!soundFont)
        return text + TAboutBox::tr("für den eingebauten Synthesizer ist keine SoundFont installiert.");
    // The file behind the links, as Debian's default-GM.sf2 is one to the
    // SoundFont chosen among those installed.
    std::error_code error;
    std::filesystem::path file = std::filesystem::canonical(*soundFont, error);
    if (error)
        file = *soundFont;
    return text + TAboutBox::tr("die Klänge des eingebauten Synthesizers stammen aus der General-MIDI-"
                                "SoundFont %1.")
                      .arg(QString::fromStdString(file.stem().string()));
}

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("Info"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setModal(true);
    // A dialog border: a title and a close button, no resizing, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(Arial(FontPixelSize));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(9, 9, 358, 212);

    // The largest rendering, scaled smoothly into the box, so the picture
    // stays sharp on a high-density screen too.
    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(9, 9, 111, 93);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    ProgramIcon->setPixmap(app::ProgramIcon().pixmap(QSize(LargestIconSize, LargestIconSize)));

    ProductName = PlacedLabel(Panel1, "ProductName", QStringLiteral("MIDI Sonoret"), {137, 9});
    ProductName->setFont(Arial(27, true));
    ProductName->adjustSize();
    Version = PlacedLabel(Panel1, "Version", tr("Version %1").arg(QString::fromLatin1(common::ProgramVersion)), {137, 55});
    Version->adjustSize();
    Copyright = PlacedLabel(Panel1, "Copyright", QStringLiteral("Copyright \u00a9 2026 MIDI Sonoret"), {137, 82});
    Copyright->setFont(Arial(12));
    Copyright->adjustSize();
    Comments = WrappedLabel(Panel1, "Comments",
                            tr("Die Tastatur lässt sich zur Klangeingabe verwenden. Zur Ausgabe "
                               "lässt sich ein MIDI-Gerät einstellen."),
                            {9, 110, 340, 37});
    Credits = WrappedLabel(Panel1, "Credits", CreditsText(midi_out::FluidSynthBackend::FindSoundFont()),
                           {9, 146, 340, 56});
    Credits->setFont(Arial(10));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(146, 238, 86, 28);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    // Centred on the screen, wherever the window system would put it.
    common::RunGuarded([this] {
        Credits->setText(CreditsText(midi_out::FluidSynthBackend::FindSoundFont()));
        if (const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
            setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    });
    QDialog::showEvent(event);
}

} // namespace app
