#include "app/guiloader.h"
#include "engine/basDatBel.h"
#include "engine/errors.h"
#include "engine/instance.h"
#include "engine/platform.h"
#include "engine/settings.h"

#include <exception>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const QString programDirectory = ProgramDirectory();
    // A start while another Datebell of this folder runs asks that one to show its window,
    // and records, tidies and shows nothing of its own.
    SingleInstance instance(programDirectory);
    const QString command = Command(arguments);
    if (!instance.startOrHandOver(CommandSwitch(command)))
        return 0;
    GuiLoader desktop(argc, argv, programDirectory);
    SystemClock clock;
    IniSettingsStore settings(IniSettingsStore::defaultPath());
    try {
        const Runtime runtime{ command, programDirectory, clock, settings, desktop };
        if (Main(runtime) == RunEnd::WindowOpen)
            return desktop.exec();
        return 0;
    } catch (const DatebellError &error) {
        desktop.reportError(error);
    } catch (const std::exception &error) {
        desktop.reportError(DatebellError(0, QString::fromLocal8Bit(error.what())));
    }
    return 1;
}
