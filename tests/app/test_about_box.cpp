#include "app/ProgramIcon.h"
#include "app/UAbout.h"

#include <QFontInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using app::TAboutBox;

TEST(AboutBox, ModalFixedDialogCaptionedInfoInArial14)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Info"));
    EXPECT_TRUE(box.isModal());
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.size(), QSize(377, 275));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(box.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(QFontInfo(box.Version->font()).pixelSize(), 14);
}

TEST(AboutBox, ControlsAtTheirPlacesWithTheirTextsAndFonts)
{
    TAboutBox box;
    EXPECT_EQ(box.Panel1->geometry(), QRect(9, 9, 358, 212));
    EXPECT_NE(box.Panel1->frameShadow(), QFrame::Plain);
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(9, 9, 111, 93));

    struct Expected {
        QLabel *label;
        const char *text; // nullptr: only checked for what it names
        QPoint position;
        QSize wrappedSize; // empty: sized to its text
        int pixelSize;
        bool bold;
    };
    const Expected labels[] = {
        {box.ProductName, "MIDI Sonoret", {137, 9}, {}, 27, true},
        {box.Version, "Version " SONORET_VERSION, {137, 55}, {}, 14, false},
        {box.Copyright, nullptr, {137, 82}, {}, 12, false},
        {box.Comments,
         "Die Tastatur lässt sich zur Klangeingabe verwenden. Zur Ausgabe lässt sich ein MIDI-Gerät einstellen.",
         {9, 110}, {340, 37}, 14, false},
        {box.Credits, nullptr, {9, 146}, {340, 56}, 10, false},
    };
    for (const auto &expected : labels) {
        const QString name = expected.label->objectName();
        EXPECT_EQ(expected.label->parentWidget(), box.Panel1) << name.toStdString();
        if (expected.text) {
            EXPECT_EQ(expected.label->text(), QString::fromUtf8(expected.text));
        }
        EXPECT_EQ(expected.label->pos(), expected.position) << name.toStdString();
        EXPECT_EQ(QFontInfo(expected.label->font()).pixelSize(), expected.pixelSize) << name.toStdString();
        EXPECT_EQ(expected.label->font().bold(), expected.bold) << name.toStdString();
        if (expected.wrappedSize.isEmpty()) {
            // A one-line label must show its whole text inside the panel.
            EXPECT_FALSE(expected.label->wordWrap()) << name.toStdString();
            EXPECT_LE(expected.label->geometry().right(), box.Panel1->width()) << name.toStdString();
            EXPECT_GE(expected.label->width(), expected.label->sizeHint().width()) << name.toStdString();
        } else {
            // A wrapped text must fit its box, or its last line is cut off.
            EXPECT_TRUE(expected.label->wordWrap()) << name.toStdString();
            EXPECT_EQ(expected.label->size(), expected.wrappedSize) << name.toStdString();
            EXPECT_LE(expected.label->heightForWidth(expected.wrappedSize.width()), expected.wrappedSize.height())
                << name.toStdString();
        }
    }
}

TEST(AboutBox, CopyrightAndCreditsNameTheProgramAndItsLibraries)
{
    TAboutBox box;
    EXPECT_TRUE(box.Copyright->text().contains(QStringLiteral("MIDI Sonoret")));
    for (const char *library : {"Qt", "RtMidi", "JACK", "FluidSynth", "TimGM6mb"})
        EXPECT_TRUE(box.Credits->text().contains(QString::fromLatin1(library))) << library;
}

TEST(AboutBox, CreditsNameTheSoundFontFileBehindTheLinksOrNone)
{
    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("FluidR3_GM.sf2"));
    const QString link = dir.filePath(QStringLiteral("default-GM.sf2"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(file, link));
    EXPECT_TRUE(app::CreditsText(link.toStdString()).endsWith(QStringLiteral("SoundFont FluidR3_GM.")));
    EXPECT_FALSE(app::CreditsText(std::nullopt).contains(QStringLiteral("TimGM6mb")));
    EXPECT_TRUE(app::CreditsText(std::nullopt).contains(QStringLiteral("keine SoundFont")));
}

TEST(AboutBox, IconFillsItsBoxFromTheLargestRendering)
{
    for (const int size : app::ProgramIconSizes)
        EXPECT_EQ(app::ProgramIcon().actualSize(QSize(size, size)), QSize(size, size)) << size;
    TAboutBox box;
    EXPECT_TRUE(box.ProgramIcon->hasScaledContents());
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(256, 256));
}

TEST(AboutBox, ShownCentredAndClosedByTheDefaultOkButton)
{
    TAboutBox box;
    EXPECT_EQ(box.OKButton->geometry(), QRect(146, 238, 86, 28));
    EXPECT_EQ(box.OKButton->text(), QStringLiteral("OK"));
    EXPECT_TRUE(box.OKButton->isDefault());

    box.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    // Odd sizes round half a pixel either way.
    EXPECT_LE((box.geometry().center() - box.screen()->availableGeometry().center()).manhattanLength(), 2);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
}

} // namespace
