#include "common/messages.h"

#include "engine/errors.h"
#include "engine/platform.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

void ReportError(const DatebellError &error)
{
    const QString report = QStringLiteral("Error %1: %2").arg(error.number()).arg(error.text());
    std::fprintf(stderr, "Datebell: %s\n", qPrintable(report));
    std::fflush(stderr);
    if (!DisplayAvailable())
        return;
    std::unique_ptr<QApplication> own;
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "datebell";
        static char *argv[] = { name, nullptr };
        own = std::make_unique<QApplication>(argc, argv);
    }
    QMessageBox::critical(nullptr, QStringLiteral("Datebell"), report);
}
