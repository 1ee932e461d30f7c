// The window in each language the program ships: every text fits its place,
// and the access keys of a menu stay unique. Qt's own texts follow the
// language: the tests' C locale means the German interface.

#include "performance/WindowFixture.h"

#include "app/RecordingDialogs.h"
#include "app/UAbout.h"
#include "common/Language.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QToolButton>

#include <set>

namespace {

// An item's access key: the character after a single '&'.
QChar AccessKey(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&' && text[i + 1] != u'&')
            return text[i + 1].toLower();
        if (text[i] == u'&')
            ++i;
    }
    return {};
}

void ExpectUniqueAccessKeys(const QWidget &menu, const QString &where)
{
    std::set<QChar> seen;
    for (const QAction *item : menu.actions()) {
        const QChar key = AccessKey(item->text());
        if (!key.isNull()) {
            EXPECT_TRUE(seen.insert(key).second) << where.toStdString() << ": " << item->text().toStdString();
        }
        if (item->menu())
            ExpectUniqueAccessKeys(*item->menu(), item->text());
    }
}

// Texts on one line are never wider than their place; wrapped ones never
// taller.
void ExpectTextsFit(const QWidget &window)
{
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        if (label->wordWrap())
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
        else
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    }
    for (const QCheckBox *box : window.findChildren<QCheckBox *>())
        EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
    // The transport buttons' captions have the width less their border;
    // the button's size hint would add the style's margins too.
    for (const QToolButton *button : window.findChildren<QToolButton *>())
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 4)
            << button->text().toStdString();
}

class Languages : public testing_support::WindowFixture, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(common::InstallLanguage(QString::fromLatin1(GetParam()),
                                            {QStringLiteral(SONORET_BINARY_DIR "/src/app/translations")}))
            << GetParam();
        Create();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        common::InstallLanguage(QString::fromLatin1(common::SourceLanguage), {});
    }
};

TEST_P(Languages, TextsFitTheirPlacesAndAccessKeysStayUnique)
{
    ExpectTextsFit(*form);
    ExpectUniqueAccessKeys(*form->menuBar(), QStringLiteral("menu bar"));
    performance::TForm2 assignment(*form);
    ExpectTextsFit(assignment);
    app::TAboutBox about;
    ExpectTextsFit(about);
}

INSTANTIATE_TEST_SUITE_P(Shipped, Languages, ::testing::Values("de", "en"));

TEST(Language, TheCLocaleShowsGermanWithQtsGermanDialogs)
{
    EXPECT_EQ(common::CurrentLanguage(), QLocale::German);
    QWidget owner;
    EXPECT_EQ(app::CreateSaveDialog(&owner)->windowTitle(), QStringLiteral("Speichern unter"));
}

} // namespace
