// The event maintenance window over 100 000 and 1 000 000 events, headless: opening it to
// the first paint of the grid, a heading click (re-sort and repaint), and scrolling to the
// end; and the process's peak memory. Prints medians of five runs of each.

#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/schema.h"
#include "engine/settings.h"
#include "fixtures.h"
#include "gridmodel/sortorders.h"
#include "maint/frmEventMaint.h"
#include "uifakes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>
#include <vector>

namespace {

// Ten years of events from today, 60% annual.
void fill(const QString &path, qint64 count)
{
    CreateEventDatabase(path);
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const QByteArray sql = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 "
                                          "FROM n WHERE i < %1 - 1) INSERT INTO Events SELECT "
                                          "date('2026-12-06', '+' || (i * 3652 / %1) || ' days') "
                                          "|| ' 00:00:00', 'Event ' || i, CASE WHEN i % 5 < 3 "
                                          "THEN -1 ELSE 0 END FROM n")
                                   .arg(count)
                                   .toUtf8();
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    FixedClock clock(QDate(2026, 12, 6));
    MemorySettings settings;
    FakeMessages messages;
    FakeHelp help;
    constexpr int runs = 5;

    std::printf("%10s %10s %16s %15s %14s %12s\n", "events", "open_ms", "text_sort_ms",
                "flag_sort_ms", "scroll_end_ms", "peak_rss_MB");
    for (const qint64 count : { qint64(100000), qint64(1000000) }) {
        QTemporaryDir folder;
        fill(folder.filePath(QStringLiteral("Datebell.mdb")), count);
        const WindowContext context{ folder.path(), settings, clock, messages, help, {}, {} };
        std::vector<double> open, click, flagClick, scroll;
        for (int run = 0; run < runs; ++run) {
            std::unique_ptr<frmEventMaint> window;
            open.push_back(milliseconds([&] {
                window = std::make_unique<frmEventMaint>(context);
                window->show();
                window->TDBGrid1->viewport()->repaint();
            }));
            QHeaderView *headings = window->TDBGrid1->horizontalHeader();
            click.push_back(milliseconds([&] {
                Q_EMIT headings->sectionClicked(1);
                window->TDBGrid1->viewport()->repaint();
            }));
            flagClick.push_back(milliseconds([&] {
                Q_EMIT headings->sectionClicked(2);
                window->TDBGrid1->viewport()->repaint();
            }));
            // Rows not yet read are read after the paint that asks for them, then painted.
            scroll.push_back(milliseconds([&] {
                window->TDBGrid1->scrollToBottom();
                window->TDBGrid1->viewport()->repaint();
                QCoreApplication::processEvents();
                window->TDBGrid1->viewport()->repaint();
            }));
            const int last = window->TDBGrid1->rowAt(window->TDBGrid1->viewport()->height() - 2);
            if (last < count - 30) {
                std::fprintf(stderr, "the grid did not reach its end: row %d\n", last);
                return 1;
            }
            window->close();
            if (!messages.fatal.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(messages.fatal.join(u'\n')));
                return 1;
            }
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%10lld %10.1f %16.1f %15.1f %14.2f %12.1f\n", static_cast<long long>(count),
                    median(open), median(click), median(flagClick), median(scroll),
                    usage.ru_maxrss / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
