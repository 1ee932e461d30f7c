#include "app/RecordingDialogs.h"

#include "common/GuardedConnect.h"

#include <QFileDialog>
#include <QStringList>

#include <iterator>
#include <span>

namespace app {

namespace {

FileDialogRunner &Runner()
{
    static FileDialogRunner runner;
    return runner;
}

QFileDialog *CreateDialog(QWidget *owner, std::span<const FileFilter> filters)
{
    auto *dialog = new QFileDialog(owner);
    // The descriptions name their patterns in their own words ("*.vsq; *.vnx"),
    // which the dialog would not parse: each filter carries its patterns in a
    // second pair of parentheses, and only the description is shown.
    QStringList nameFilters;
    for (const FileFilter &filter : filters)
        nameFilters << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(filter.description),
                                                     QString::fromLatin1(filter.patterns));
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    // Qt's own dialog on every desktop: platform dialogs may show the
    // descriptions differently or leave the default extension off.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilters(nameFilters);
    dialog->selectNameFilter(nameFilters.front());
    dialog->setDefaultSuffix(QString::fromLatin1(RecordingDefaultSuffix));
    return dialog;
}

} // namespace

QString DefaultSuffixOf(const FileFilter &filter)
{
    // The first pattern's extension: "*.mid" gives "mid".
    const QString first = QString::fromLatin1(filter.patterns).section(QLatin1Char(' '), 0, 0);
    return first.section(QLatin1Char('.'), 1);
}

QFileDialog *CreateOpenDialog(QWidget *owner)
{
    QFileDialog *dialog = CreateDialog(owner, OpenFilters);
    dialog->setObjectName(QStringLiteral("OpenDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return dialog;
}

QFileDialog *CreateSaveDialog(QWidget *owner)
{
    QFileDialog *dialog = CreateDialog(owner, SaveFilters);
    dialog->setObjectName(QStringLiteral("SaveDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    // A bare name gets the extension of the format chosen: a "MIDI-Datei"
    // must not be saved as a native recording.
    const QStringList nameFilters = dialog->nameFilters();
    common::GuardedConnect(dialog, &QFileDialog::filterSelected, dialog, [dialog, nameFilters](const QString &chosen) {
        // The filter comes as shown, without the patterns the dialog hides.
        for (qsizetype i = 0; i < nameFilters.size(); ++i) {
            if (chosen == nameFilters[i] || chosen == QString::fromUtf8(SaveFilters[i].description))
                dialog->setDefaultSuffix(DefaultSuffixOf(SaveFilters[i]));
        }
    });
    return dialog;
}

std::optional<QString> RunFileDialog(QFileDialog &dialog)
{
    if (Runner())
        return Runner()(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty())
        return std::nullopt;
    return files.front();
}

void SetFileDialogRunner(FileDialogRunner runner) { Runner() = std::move(runner); }

} // namespace app
