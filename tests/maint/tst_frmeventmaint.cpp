#include "engine/globals.h"
#include "fixtures.h"
#include "gridmodel/eventgridmodel.h"
#include "gridmodel/sortorders.h"
#include "maint/frmEventMaint.h"
#include "uifakes.h"

#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <sqlite3.h>

// The maintenance window over a temporary database; today is 2026-03-10, dates in US form.
class tst_frmEventMaint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init();
    void cleanup();
    void sortByHeading_data();
    void sortByHeading();
    void editIsValidated_data();
    void editIsValidated();
    void addEvent_data();
    void addEvent();
    void deleteEvent_data();
    void deleteEvent();
    void horizonRestoredAndSaved_data();
    void horizonRestoredAndSaved();
    void closingWhileEditing_data();
    void closingWhileEditing();
    void identicalRowsAreSeparate();
    void keyboard();
    void helpOpensTheGuide();
    void lockedFileKeepsTheEdit();
    void foreignRowsAreFlaggedAndEditable();

private:
    void open();
    void close();
    QStringList gridRows() const; // "date|description|annual" as shown, records only
    bool edit(int row, int column, const QString &text);
    void leaveRow(int to) { m_window->TDBGrid1->setCurrentIndex(model()->index(to, 0)); }
    EventGridModel *model() const { return m_window->model; }

    std::unique_ptr<ProgramFolder> m_folder;
    MemorySettings m_settings;
    FixedClock m_clock{ QDate(2026, 3, 10) };
    FakeMessages m_messages;
    FakeHelp m_help;
    std::unique_ptr<frmEventMaint> m_window;
};

void tst_frmEventMaint::init()
{
    resetEngineState();
    m_folder = std::make_unique<ProgramFolder>();
    m_settings = MemorySettings();
    m_messages = FakeMessages();
}

void tst_frmEventMaint::cleanup()
{
    m_window.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_frmEventMaint::open()
{
    m_window = std::make_unique<frmEventMaint>(
            WindowContext{ m_folder->path(), m_settings, m_clock, m_messages, m_help, {}, {} });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_frmEventMaint::close()
{
    m_window->cmdClose->click();
    QVERIFY(!m_window->isVisible());
}

QStringList tst_frmEventMaint::gridRows() const
{
    QStringList rows;
    for (int row = 0; row < model()->newRecordRow(); ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column)
            cells << model()->index(row, column).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

// Types into a cell as its editor would hand the text over.
bool tst_frmEventMaint::edit(int row, int column, const QString &text)
{
    m_window->TDBGrid1->setCurrentIndex(model()->index(row, column));
    return model()->setData(model()->index(row, column), text);
}

void tst_frmEventMaint::sortByHeading_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("heading");
    QTest::addColumn<QString>("to");
    // Statements: date, Date (descending), text, Text, flag, Flag.
    const QString transitions[6][3] = { { "Date", "text", "flag" }, { "date", "text", "flag" },
                                        { "date", "Text", "flag" }, { "date", "text", "flag" },
                                        { "date", "text", "Flag" }, { "date", "text", "flag" } };
    const QString names[6] = { "date", "Date", "text", "Text", "flag", "Flag" };
    for (int from = 0; from < 6; ++from) {
        for (int heading = 0; heading < 3; ++heading) {
            QTest::addRow("%s, click %d", qPrintable(names[from]), heading)
                    << names[from] << heading << transitions[from][heading];
        }
    }
}

void tst_frmEventMaint::sortByHeading()
{
    QFETCH(QString, from);
    QFETCH(int, heading);
    QFETCH(QString, to);
    const QMap<QString, QString> statements{
        { "date", SortOrder::Ascending[0] }, { "Date", SortOrder::Descending[0] },
        { "text", SortOrder::Ascending[1] }, { "Text", SortOrder::Descending[1] },
        { "flag", SortOrder::Ascending[2] }, { "Flag", SortOrder::Descending[2] },
    };
    // The descriptions, in the order each statement lists them.
    const QMap<QString, QString> orders{
        { "date", "dabc" }, { "Date", "cabd" }, { "text", "abcd" },
        { "Text", "dcba" }, { "flag", "bcda" }, { "Flag", "dabc" }
    };
    m_folder->add(u"2026-01-01 00:00:00"_qs, u"b"_qs, -1);
    m_folder->add(u"2026-01-01 00:00:00"_qs, u"a"_qs, 0);
    m_folder->add(u"2026-02-01 00:00:00"_qs, u"c"_qs, -1);
    m_folder->add(u"2025-12-01 00:00:00"_qs, u"d"_qs, 0);
    open();
    QCOMPARE(m_window->Data1.RecordSource(), SortOrder::Ascending[0]);
    m_window->Data1.setRecordSource(statements[from]);
    m_window->Data1.Refresh();

    QHeaderView *headings = m_window->TDBGrid1->horizontalHeader();
    QTest::mouseClick(headings->viewport(), Qt::LeftButton, {},
                      QPoint(headings->sectionViewportPosition(heading) + 5, 5));
    QCOMPARE(m_window->Data1.RecordSource(), statements[to]);
    QString order;
    for (const QString &row : gridRows())
        order += row.section(u'|', 1, 1);
    QCOMPARE(order, orders[to]);
    QCOMPARE(m_window->TDBGrid1->currentIndex().row(), 0);
}

void tst_frmEventMaint::editIsValidated_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // the row afterwards; empty: refused with `message`
    QTest::addColumn<QString>("message");

    QTest::newRow("short date") << 0 << "12/25/2026"
                                << "2026-12-25 00:00:00|old|-1"
                                << "";
    QTest::newRow("two-digit year, 20xx") << 0 << "12/25/29"
                                          << "2029-12-25 00:00:00|old|-1"
                                          << "";
    QTest::newRow("two-digit year, 19xx") << 0 << "1/2/30"
                                          << "1930-01-02 00:00:00|old|-1"
                                          << "";
    QTest::newRow("month by name") << 0 << "Dec 25, 2026"
                                   << "2026-12-25 00:00:00|old|-1"
                                   << "";
    QTest::newRow("ISO with time") << 0 << "2026-12-25 10:30"
                                   << "2026-12-25 10:30:00|old|-1"
                                   << "";
    QTest::newRow("with time, PM") << 0 << "12/25/2026 7:05 PM"
                                   << "2026-12-25 19:05:00|old|-1"
                                   << "";
    QTest::newRow("time alone") << 0 << "10:30"
                                << "2026-03-11 10:30:00|old|-1"
                                << "";
    QTest::newRow("day first") << 0 << "31/12/2026"
                               << ""
                               << "Invalid event date";
    QTest::newRow("not a date") << 0 << "soon"
                                << ""
                                << "Invalid event date";
    QTest::newRow("three-digit year") << 0 << "12/25/202"
                                      << ""
                                      << "Invalid event date";
    QTest::newRow("signed year") << 0 << "12/25/+22"
                                 << ""
                                 << "Invalid event date";
    QTest::newRow("description") << 1 << "new text"
                                 << "2026-03-11 00:00:00|new text|-1"
                                 << "";
    QTest::newRow("one blank") << 1 << " "
                               << "2026-03-11 00:00:00| |-1"
                               << "";
    QTest::newRow("empty description") << 1 << ""
                                       << ""
                                       << "Invalid event description";
    QTest::newRow("annual No") << 2 << "No"
                               << "2026-03-11 00:00:00|old|0"
                               << "";
}

void tst_frmEventMaint::editIsValidated()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"old"_qs, -1);
    m_folder->add(u"2027-01-01 00:00:00"_qs, u"other"_qs, -1);
    open();
    QCOMPARE(edit(0, column, typed), message.isEmpty());
    // Nothing reaches the file until the row is left.
    QVERIFY(m_folder->rows().contains(u"2026-03-11 00:00:00|old|-1"_qs));
    leaveRow(1);
    if (message.isEmpty()) {
        QVERIFY(m_messages.boxes.isEmpty());
        QVERIFY2(m_folder->rows().contains(stored), qPrintable(m_folder->rows().join(u", ")));
    } else {
        QCOMPARE(m_messages.boxes, QStringList{ u"Error|64|"_qs + message });
        QVERIFY(m_folder->rows().contains(u"2026-03-11 00:00:00|old|-1"_qs));
    }
}

void tst_frmEventMaint::addEvent_data()
{
    QTest::addColumn<int>("records");
    QTest::newRow("empty grid") << 0;
    QTest::newRow("two records") << 2;
}

void tst_frmEventMaint::addEvent()
{
    QFETCH(int, records);
    for (int i = 0; i < records; ++i)
        m_folder->add(u"2026-04-0%1 00:00:00"_qs.arg(i + 1), u"event %1"_qs.arg(i), 0);
    open();
    m_window->cmdAdd->click();
    QCoreApplication::processEvents(); // the Down key the button posts
    QCOMPARE(m_window->TDBGrid1->currentIndex(), model()->index(records, 0));
    QCOMPARE(QApplication::focusWidget(), m_window->TDBGrid1);

    // A started row that cannot be saved (no date) is bypassed by the next Add.
    QVERIFY(edit(records, 1, u"no date"_qs));
    QCOMPARE(model()->addNewState(), 2);
    m_window->cmdAdd->click();
    QCoreApplication::processEvents();
    QCOMPARE(m_messages.boxes,
             QStringList{ u"Error|64|Invalid data for new record...record bypassed"_qs });
    QCOMPARE(model()->addNewState(), 0);
    QCOMPARE(m_window->TDBGrid1->currentIndex(), model()->index(records, 0));

    QVERIFY(edit(records, 0, u"3/15/2026"_qs));
    QVERIFY(edit(records, 1, u"added"_qs));
    m_window->cmdAdd->click(); // saves the row, and goes on to a new one
    QCoreApplication::processEvents();
    QCOMPARE(m_window->TDBGrid1->currentIndex(), model()->index(records + 1, 0));
    QCOMPARE(m_folder->rows().size(), records + 1);
    QVERIFY(m_folder->rows().contains(u"2026-03-15 00:00:00|added|0"_qs));
    QCOMPARE(gridRows().last(), u"3/15/2026|added|No"_qs);
    QCOMPARE(model()->newRecordRow(), records + 1);
}

void tst_frmEventMaint::deleteEvent_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("row"); // the current row; -1 a started new row
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("left"); // descriptions left in the grid
    QTest::addColumn<int>("currentAfter");

    const int yes = MsgBoxResult::Yes, no = MsgBoxResult::No;
    QTest::newRow("No") << 3 << 1 << no << QStringList{ "a", "b", "c" } << 1;
    QTest::newRow("middle") << 3 << 1 << yes << QStringList{ "a", "c" } << 1;
    QTest::newRow("last") << 3 << 2 << yes << QStringList{ "a", "b" } << 1;
    QTest::newRow("only") << 1 << 0 << yes << QStringList() << 0;
    QTest::newRow("started new row") << 2 << -1 << yes << QStringList{ "a", "b" } << 2;
}

void tst_frmEventMaint::deleteEvent()
{
    QFETCH(int, records);
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(QStringList, left);
    QFETCH(int, currentAfter);
    for (int i = 0; i < records; ++i)
        m_folder->add(u"2026-03-1%1 00:00:00"_qs.arg(i + 1), QString(QChar(u'a' + i)), 0);
    open();
    if (row < 0)
        QVERIFY(edit(records, 1, u"typed"_qs));
    else
        m_window->TDBGrid1->setCurrentIndex(model()->index(row, 1));
    m_messages.answer = answer;
    m_window->cmdDelete->click();

    const QString named =
            row < 0 ? u"/typed"_qs : u"3/1%1/2026/%2"_qs.arg(row + 1).arg(QChar(u'a' + row));
    const QString asked = records == 0
            ? u"Delete record|64|There are currently no records to delete."_qs
            : u"Confirm delete|36|Are you sure you want to remove '"_qs + named
                    + u"' from Datebell?"_qs;
    QCOMPARE(m_messages.boxes, QStringList{ asked });
    QStringList descriptions;
    for (const QString &line : gridRows())
        descriptions << line.section(u'|', 1, 1);
    QCOMPARE(descriptions, left);
    QCOMPARE(m_folder->rows().size(), left.size());
    QCOMPARE(m_window->TDBGrid1->currentIndex().row(), currentAfter);
    QCOMPARE(model()->addNewState(), 0);
    QVERIFY(m_messages.fatal.isEmpty());
}

void tst_frmEventMaint::horizonRestoredAndSaved_data()
{
    QTest::addColumn<QString>("stored"); // empty: none
    QTest::addColumn<int>("shown"); // -1: no option
    QTest::addColumn<int>("chosen"); // -1: none
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("days");
    QTest::newRow("default") << "" << 2 << -1 << "2" << 3;
    QTest::newRow("stored 5") << "5" << 5 << -1 << "5" << 7;
    QTest::newRow("choose 30 days") << "2" << 2 << 6 << "6" << 30;
    QTest::newRow("hand-edited 9 kept") << "9" << -1 << -1 << "9" << 10;
    QTest::newRow("hand-edited 9, then chosen") << "9" << -1 << 0 << "0" << 1;
}

void tst_frmEventMaint::horizonRestoredAndSaved()
{
    QFETCH(QString, stored);
    QFETCH(int, shown);
    QFETCH(int, chosen);
    QFETCH(QString, saved);
    QFETCH(int, days);
    if (!stored.isEmpty())
        m_settings.values.insert(u"Settings/DaysAhead"_qs, stored);
    open();
    QCOMPARE(QApplication::focusWidget(), m_window->cmdHelp);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(m_window->optDays[i]->isChecked(), i == shown);
    if (chosen >= 0)
        QTest::mouseClick(m_window->optDays[chosen], Qt::LeftButton);
    close();
    QCOMPARE(m_settings.values.value(u"Settings/DaysAhead"_qs), saved);
    QCOMPARE(giDaysAhead, days);
    QVERIFY(gsSQL.startsWith(u"SELECT * From Events WHERE EventDate<=#"));
}

// A row being edited when the window closes: saved when it can be, bypassed when not.
void tst_frmEventMaint::closingWhileEditing_data()
{
    QTest::addColumn<int>("row"); // 0 an existing record, 1 the new-record row
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("changed record")
            << 0 << "changed" << QStringList{ "2026-03-11 00:00:00|changed|0" } << QStringList();
    QTest::newRow("new row without date")
            << 1 << "new" << QStringList{ "2026-03-11 00:00:00|old|0" }
            << QStringList{ "Error|64|Invalid data for new record...record bypassed" };
}

void tst_frmEventMaint::closingWhileEditing()
{
    QFETCH(int, row);
    QFETCH(QString, description);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, boxes);
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"old"_qs, 0);
    open();
    QVERIFY(edit(row, 1, description));
    m_window->close(); // the close box
    QCOMPARE(m_folder->rows(), rows);
    QCOMPARE(m_messages.boxes, boxes);
}

void tst_frmEventMaint::identicalRowsAreSeparate()
{
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"twin"_qs, 0);
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"twin"_qs, 0);
    open();
    QVERIFY(edit(1, 2, u"Yes"_qs));
    leaveRow(0);
    QCOMPARE(m_folder->rows(),
             QStringList({ "2026-03-11 00:00:00|twin|-1", "2026-03-11 00:00:00|twin|0" }));
    m_messages.answer = MsgBoxResult::Yes;
    m_window->cmdDelete->click();
    QCOMPARE(m_folder->rows(), QStringList{ "2026-03-11 00:00:00|twin|-1" });
}

void tst_frmEventMaint::keyboard()
{
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"kept"_qs, 0);
    open();
    QTableView *grid = m_window->TDBGrid1;
    grid->setFocus();
    grid->setCurrentIndex(model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(m_folder->rows().size(), 1);
    QTest::keyClick(grid, Qt::Key_Tab);
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->currentIndex(), model()->index(0, 2));
    QTest::keyClick(grid, Qt::Key_Tab); // from the last column out of the grid, not round
    QVERIFY(QApplication::focusWidget() != grid);
    QCOMPARE(grid->currentIndex(), model()->index(0, 2));
}

void tst_frmEventMaint::helpOpensTheGuide()
{
    open();
    m_window->cmdHelp->click();
    const std::pair<QWidget *, QString> request{ m_window.get(),
                                                 m_folder->path() + u"/Datebell.html" };
    QCOMPARE(m_help.requests, QList{ request });
}

// Another program holds the file locked: the edit stays in the grid, and goes in once the
// lock is gone.
void tst_frmEventMaint::lockedFileKeepsTheEdit()
{
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"old"_qs, 0);
    m_folder->add(u"2026-03-12 00:00:00"_qs, u"other"_qs, 0);
    open();
    QVERIFY(edit(0, 1, u"changed"_qs));
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(m_folder->database().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    leaveRow(1);
    QCOMPARE(m_messages.boxes.size(), 1);
    QVERIFY2(m_messages.boxes.first().contains(u"in use by another program"),
             qPrintable(m_messages.boxes.first()));
    QCOMPARE(model()->editedRow(), 0);
    QCOMPARE(model()->index(0, 1).data().toString(), u"changed"_qs);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(m_folder->rows().first(), u"2026-03-11 00:00:00|old|0"_qs);

    close();
    QCOMPARE(m_folder->rows().first(), u"2026-03-11 00:00:00|changed|0"_qs);
    QVERIFY(m_messages.fatal.isEmpty());
}

void tst_frmEventMaint::foreignRowsAreFlaggedAndEditable()
{
    m_folder = std::make_unique<ProgramFolder>(false);
    m_folder->exec(u"INSERT INTO Events VALUES ('2026-03-11', 'short date', 7), "
                   "(NULL, 'no date', -1), ('2026-03-12 00:00:00', 'fine', 0)"_qs);
    open();
    QStringList flagged;
    for (int row = 0; row < model()->newRecordRow(); ++row) {
        for (int column = 0; column < 3; ++column) {
            if (model()->index(row, column).data(EventGridModel::MalformedRole).toBool())
                flagged << model()->index(row, column).data().toString();
        }
    }
    QCOMPARE(flagged, QStringList({ "", "2026-03-11" })); // NULL sorts first
    QCOMPARE(model()->index(1, 2).data().toString(), u"Yes"_qs); // any flag but 0 is annual
    QVERIFY(edit(1, 0, u"2026-03-11"_qs));
    QVERIFY(edit(1, 2, u"Yes"_qs));
    close();
    QVERIFY(m_folder->rows().contains(u"2026-03-11 00:00:00|short date|-1"_qs));
}

QTEST_MAIN(tst_frmEventMaint)
#include "tst_frmeventmaint.moc"
