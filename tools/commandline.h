#pragma once

// What the tools share on their command lines: Qt's parser with --help and --version, and
// the exit status 2 for wrong usage.

#include <QCommandLineParser>

#include <optional>

class QCoreApplication;

// Names the tool and its version, adds --help and --version to `parser` and reads the
// arguments. --help and --version print and end the tool with status 0; a wrong argument, or
// a count of positional arguments outside `fewest`..`most`, prints the error and the usage on
// standard error: 2. Nothing when the tool goes on.
std::optional<int> ParseToolArguments(QCommandLineParser &parser, QCoreApplication &application,
                                      const QString &name, const QString &description, int fewest,
                                      int most);

// Prints `message` and the usage on standard error; returns 2, the status of wrong usage.
int UsageError(const QCommandLineParser &parser, const QString &message);
