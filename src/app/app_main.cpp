#include "app/ErrorHandler.h"
#include "app/ProgramIcon.h"
#include "app/SettingsFile.h"
#include "app/UAbout.h"
#include "app/UMain.h"
#include "common/AtomicFileWriter.h"
#include "common/Guard.h"
#include "midi_out/SystemBackend.h"
#include "performance/UTast.h"

#include <QStringList>

#include <memory>

int main(int argc, char **argv)
{
    // A save cut short by Ctrl+C or a logout leaves no hidden half-written file.
    common::AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals();
    app::SonoretApplication application(argc, argv);
    application.setWindowIcon(app::ProgramIcon());
    application.setDesktopFileName(QStringLiteral("midi-sonoret"));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    std::unique_ptr<app::TForm1> form;
    std::unique_ptr<performance::TForm2> assignment;
    std::unique_ptr<app::TAboutBox> about;
    const bool created = common::RunGuarded([&] {
        form = std::make_unique<app::TForm1>(
            midi_out::CreateSystemBackend(),
            app::SettingsFile::LocationFor(QCoreApplication::applicationFilePath().toStdString()),
            arguments);
        assignment = std::make_unique<performance::TForm2>(*form);
        form->SetKeyAssignmentWindow(assignment.get());
        about = std::make_unique<app::TAboutBox>();
        form->SetAboutBox(about.get());
    });
    if (!created || form->ShouldTerminate())
        return created ? 0 : 1;

    form->show();
    return application.exec();
}
