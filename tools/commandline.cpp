#include "tools/commandline.h"

#include <QCoreApplication>

#include <cstdio>

std::optional<int> ParseToolArguments(QCommandLineParser &parser, QCoreApplication &application,
                                      const QString &name, const QString &description, int fewest,
                                      int most)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                    .arg(DATEBELL_VERSION_MAJOR)
                                                    .arg(DATEBELL_VERSION_MINOR)
                                                    .arg(DATEBELL_VERSION_PATCH));
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    if (!parser.parse(application.arguments()))
        return UsageError(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const qsizetype count = parser.positionalArguments().size();
    if (count < fewest)
        return UsageError(parser, QStringLiteral("Too few arguments."));
    if (count > most)
        return UsageError(parser, QStringLiteral("Too many arguments."));
    return std::nullopt;
}

int UsageError(const QCommandLineParser &parser, const QString &message)
{
    std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message), qPrintable(parser.helpText()));
    return 2;
}
