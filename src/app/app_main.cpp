#include "app/ErrorHandler.h"
#include "app/SettingsFile.h"
#include "app/UAbout.h"
#include "app/UMain.h"
#include "performance/UTast.h"

#if __has_include("midi_out/SystemBackend.h")
#include "midi_out/SystemBackend.h"
#define SONORET_HAVE_SYSTEM_BACKEND 1
#else
#include "midi_out/TestBackend.h"
#endif

#include <QStringList>

#include <memory>

int main(int argc, char **argv)
{
    app::SonoretApplication application(argc, argv);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    std::unique_ptr<app::TForm1> form;
    std::unique_ptr<performance::TForm2> assignment;
    std::unique_ptr<app::TAboutBox> about;
    const bool created = app::ErrorHandler::RunGuarded([&] {
#ifdef SONORET_HAVE_SYSTEM_BACKEND
        auto backend = midi_out::CreateSystemBackend();
#else
        auto backend = std::make_unique<midi_out::TestBackend>(std::vector<std::string>{});
#endif
        form = std::make_unique<app::TForm1>(
            std::move(backend),
            app::SettingsFile::LocationFor(QCoreApplication::applicationFilePath().toStdString()),
            arguments);
        assignment = std::make_unique<performance::TForm2>();
        about = std::make_unique<app::TAboutBox>();
    });
    if (!created || form->ShouldTerminate())
        return created ? 0 : 1;

    form->show();
    return application.exec();
}
