#include "app/ProgramIcon.h"

#include <QString>

// The resources sit in a static library: naming their initialiser here makes
// the linker keep them. Q_INIT_RESOURCE must be used outside any namespace.
static void InitProgramResources()
{
    Q_INIT_RESOURCE(sonoret);
}

namespace app {

QIcon ProgramIcon()
{
    InitProgramResources();
    QIcon icon;
    for (const int size : ProgramIconSizes)
        icon.addFile(QStringLiteral(":/icons/midi-sonoret-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace app
