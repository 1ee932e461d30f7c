#include "app/RecordingDialogs.h"

#include "app/ByteNameProxyModel.h"
#include "common/Guard.h"
#include "common/GuardedConnect.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
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

// Qt's question before a file is replaced, in Qt's own words and catalogue.
constexpr char ReplaceQuestion[] = "%1 already exists.\nDo you want to replace it?";

// Qt's dialog, which also lists the files whose names it cannot represent.
class RecordingFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override { common::RunGuarded([this] { Accept(); }); }

private:
    // Qt would ask before replacing such a file by its stand-in's name ("7").
    void Accept()
    {
        const QStringList files = selectedFiles();
        const auto *names = dynamic_cast<const ByteNameProxyModel *>(proxyModel());
        const ByteNamedFile *file =
            names != nullptr && files.size() == 1 ? names->Files().Find(files.front()) : nullptr;
        if (file == nullptr || acceptMode() == AcceptOpen || testOption(DontConfirmOverwrite)) {
            QFileDialog::accept();
            return;
        }
        const QString question = QCoreApplication::translate("QFileDialog", ReplaceQuestion).arg(file->shown);
        if (QMessageBox::warning(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        setOption(DontConfirmOverwrite);
        QFileDialog::accept();
        setOption(DontConfirmOverwrite, false);
    }
};

QFileDialog *CreateDialog(QWidget *owner, std::span<const FileFilter> filters)
{
    auto *dialog = new RecordingFileDialog(owner);
    // The descriptions name their patterns in their own words ("*.vsq; *.vnx"),
    // which the dialog would not parse: each filter carries its patterns in a
    // second pair of parentheses, and only the description is shown.
    QStringList nameFilters;
    for (const FileFilter &filter : filters)
        nameFilters << QStringLiteral("%1 (%2)").arg(DescriptionOf(filter),
                                                     QString::fromLatin1(filter.patterns));
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    // Qt's own dialog on every desktop: platform dialogs may show the
    // descriptions differently or leave the default extension off.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Files named in bytes that are not UTF-8 (Latin-1 from older disks),
    // which Qt's listing leaves out.
    dialog->setProxyModel(new ByteNameProxyModel(dialog));
    dialog->setNameFilters(nameFilters);
    dialog->selectNameFilter(nameFilters.front());
    dialog->setDefaultSuffix(QString::fromLatin1(RecordingDefaultSuffix));
    return dialog;
}

} // namespace

QString DescriptionOf(const FileFilter &filter)
{
    return QCoreApplication::translate("RecordingDialogs", filter.description);
}

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
            if (chosen == nameFilters[i] || chosen == DescriptionOf(SaveFilters[i]))
                dialog->setDefaultSuffix(DefaultSuffixOf(SaveFilters[i]));
        }
    });
    return dialog;
}

std::optional<std::string> RunFileDialog(QFileDialog &dialog)
{
    std::optional<QString> chosen;
    if (Runner()) {
        chosen = Runner()(dialog);
    } else if (dialog.exec() == QDialog::Accepted) {
        chosen = dialog.selectedFiles().value(0);
        if (chosen->isEmpty())
            return std::nullopt;
    }
    if (!chosen)
        return std::nullopt;
    const auto *names = dynamic_cast<const ByteNameProxyModel *>(dialog.proxyModel());
    return (names != nullptr ? names->Files().Encode(*chosen) : QFile::encodeName(*chosen)).toStdString();
}

void SetFileDialogRunner(FileDialogRunner runner) { Runner() = std::move(runner); }

} // namespace app
