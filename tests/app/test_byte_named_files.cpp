// The files a folder holds under names that are not valid UTF-8: found with
// a readable name, matched by the dialog's filters, and named again by their
// own bytes.

#include "app/ByteNamedFiles.h"
#include "support/TestFiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace {

TEST(ByteNamedFiles, ListsOnlyUndecodableFilesUnderReadableNames)
{
    testfiles::TempDir dir;
    for (const char *name : {"m\xe4rz.vsq", "b\xe4r.vsq", "b\xc3\xa4r.vsq", "ok.vsq", ".vers\xe4.vsq", "bild\xe4.jpg"})
        testfiles::WriteText(dir.File(name), name);
    std::filesystem::create_directory(dir.Path() / "ordner\xe4.vsq");
    const auto found = app::ByteNamedFiles::Scan(QFile::encodeName(QString::fromStdString(dir.Path().string())));

    // A name that would read like a UTF-8 neighbour's is marked instead.
    const std::map<QString, QByteArray> expected{
        {QStringLiteral("märz.vsq"), "m\xe4rz.vsq"},     {QStringLiteral("b\uFFFDr.vsq"), "b\xe4r.vsq"},
        {QStringLiteral(".versä.vsq"), ".vers\xe4.vsq"}, {QStringLiteral("bildä.jpg"), "bild\xe4.jpg"}};
    std::map<QString, QByteArray> shown;
    for (const app::ByteNamedFile &file : found.Files()) {
        shown[file.shown] = file.name;
        // The stand-in opens the file; the name given back is its own.
        QFile standIn(file.handle);
        ASSERT_TRUE(standIn.open(QIODevice::ReadOnly)) << file.handle.toStdString();
        EXPECT_EQ(standIn.readAll(), file.name);
        EXPECT_EQ(found.Encode(file.handle).toStdString(), dir.File(file.name.toStdString()));
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(found.Encode(QStringLiteral("/tmp/märz.vsq")), QByteArray("/tmp/m\xc3\xa4rz.vsq"));
}

TEST(ByteNamedFiles, MatchesTheDialogsFilters)
{
    testfiles::TempDir dir;
    for (const char *name : {"m\xe4rz.VSQ", ".vers\xe4.vsq", "bild\xe4.jpg", "t\xf6ne.vnx"})
        testfiles::WriteText(dir.File(name), "");
    const auto found = app::ByteNamedFiles::Scan(QFile::encodeName(QString::fromStdString(dir.Path().string())));
    const struct {
        QStringList patterns;
        bool hidden;
        std::set<QString> expected;
    } cases[] = {
        {{"*.vsq", "*.vnx"}, false, {"märz.VSQ", "töne.vnx"}},
        {{"*.vsq"}, true, {"märz.VSQ", ".versä.vsq"}},
        {{}, false, {"märz.VSQ", "bildä.jpg", "töne.vnx"}},
    };
    for (const auto &c : cases) {
        std::set<QString> matching;
        for (const app::ByteNamedFile *file : found.Matching(c.patterns, c.hidden))
            matching.insert(file->shown);
        EXPECT_EQ(matching, c.expected) << c.patterns.join(' ').toStdString();
    }
}

} // namespace
