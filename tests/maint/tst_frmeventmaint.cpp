#include "engine/dates.h"
#include "engine/globals.h"
#include "fixtures.h"
#include "gridmodel/eventgridmodel.h"
#include "maint/frmEventMaint.h"
#include "uifakes.h"
#include "windows/messages.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <sqlite3.h>

// The maintenance window over a temporary database, driven by keys and clicks as a person
// drives it; the file is read through a connection of its own. Today is 2026-12-06.
class tst_frmEventMaint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void keystrokes_data();
    void keystrokes();
    void habits_data();
    void habits();
    void deleteLeavesTheFollowingRecord_data();
    void deleteLeavesTheFollowingRecord();
    void openAndLeaveChangesNothing_data();
    void openAndLeaveChangesNothing();
    void sortByHeading_data();
    void sortByHeading();
    void lockedOrChangedFile();
    void randomKeystrokes();
    void storedRowsAndHorizon();
    void horizon_data();
    void horizon();

private:
    void open(const QStringList &rows);
    // Plays a script of keys (Tab, Backtab, F2, Alt+C...), typed text (=text, "_" a blank)
    // and clicks (click:row,column dbl:row,column sel:row head:column opt:index close; "new"
    // for the new-record row's number) on whatever has the focus, the open editor included.
    void play(const QString &script);
    QTableView *grid() const { return m_window->TDBGrid1; }

    std::unique_ptr<ProgramFolder> m_folder;
    MemorySettings m_settings;
    FixedClock m_clock{ QDate(2026, 12, 6) };
    FakeMessages m_messages;
    FakeHelp m_help;
    std::unique_ptr<frmEventMaint> m_window;
};

namespace {
// Alpha to Delta; the expected rows name these by their letter.
const QStringList fixture{ "2026-12-10 00:00:00|Alpha|0", "2026-12-11 09:05:00|Bravo|-1",
                           "2026-12-12 00:00:00|Charlie|0", "2026-12-28 22:30:15|Delta|0" };
} // namespace

void tst_frmEventMaint::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    resetEngineState();
    m_folder = std::make_unique<ProgramFolder>();
    m_settings = MemorySettings();
    m_messages = FakeMessages();
    m_messages.answer = MsgBoxResult::Yes;
}

void tst_frmEventMaint::cleanup()
{
    m_window.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    QCOMPARE(m_messages.boxesUnderHourglass, 0);
    QCOMPARE(m_messages.fatal, QStringList());
}

void tst_frmEventMaint::open(const QStringList &rows)
{
    for (const QString &row : rows)
        m_folder->add(row.section(u'|', 0, 0), row.section(u'|', 1, 1),
                      row.section(u'|', 2).toInt());
    m_window = std::make_unique<frmEventMaint>(
            WindowContext{ m_folder->path(), m_settings, m_clock, m_messages, m_help, {}, {} });
    m_window->show();
    m_window->activateWindow(); // keys go to the focus, and shortcuts work, in the active one
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    new QAbstractItemModelTester(grid()->model(), grid()); // Qt's model contract, checked
}

void tst_frmEventMaint::play(const QString &script)
{
    const auto focus = [this] {
        QWidget *widget = QApplication::focusWidget();
        return widget ? widget : m_window.get();
    };
    for (const QString &token : script.split(u' ', Qt::SkipEmptyParts)) {
        if (!m_window->isVisible())
            return;
        const QString kind = token.section(u':', 0, 0);
        const QString first = token.section(u':', 1).section(u',', 0, 0);
        const auto *model = static_cast<EventGridModel *>(grid()->model());
        const int a = first == u"new" ? model->newRecordRow() : first.toInt();
        const int b = token.section(u',', 1).toInt();
        QHeaderView *header =
                kind == u"sel" ? grid()->verticalHeader() : grid()->horizontalHeader();
        const int middle = header->sectionViewportPosition(a) + header->sectionSize(a) / 2;
        const QPoint cell = grid()->visualRect(grid()->model()->index(a, b)).center();
        if (token.startsWith(u'=')) {
            const QString text = token.mid(1).replace(u'_', u' ');
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, focus(), Qt::Key(c.toUpper().unicode()),
                                    QString(c), {});
        } else if (kind == u"click") {
            QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell);
        } else if (kind == u"dbl") {
            QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell);
        } else if (kind == u"sel" || kind == u"head") {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              kind == u"sel" ? QPoint(5, middle) : QPoint(middle, 5));
        } else if (kind == u"opt") {
            QTest::mouseClick(m_window->optDays[a], Qt::LeftButton);
        } else if (token == u"close") {
            m_window->close();
        } else {
            const QKeyCombination key = QKeySequence::fromString(token)[0];
            QTest::keyClick(focus(), key.key(), key.keyboardModifiers());
            // A mnemonic presses its button for a moment before it clicks.
            const auto buttons = m_window->findChildren<QPushButton *>();
            QVERIFY(QTest::qWaitFor([&] {
                return std::none_of(buttons.begin(), buttons.end(),
                                    [](QPushButton *button) { return button->isDown(); });
            }));
        }
        // What a key posts (a refused text shown again) is handled before the next key, as it
        // is before a person's next key.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
}

void tst_frmEventMaint::keystrokes_data()
{
    QTest::addColumn<int>("records"); // the first rows of the fixture
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("rows"); // the file afterwards, ';': letters for fixture rows
    QTest::addColumn<QString>("boxes"); // the messages' texts, ';'
    const auto add = [](const char *name, int records, const char *script, const QString &rows,
                        const char *boxes = "") {
        QTest::newRow(name) << records << QString::fromLatin1(script) << rows
                            << QString::fromLatin1(boxes);
    };
    const QString xmas = "2026-12-20 00:00:00|Xmas|0", alfa = "2026-12-10 00:00:00|Alfa|0;BCD",
                  bx = "2026-12-11 09:05:00|Bx|-1";
    add("tab never wraps to the first row", 4,
        "Alt+A =12/20/2026 Tab =Xmas Tab Tab =12/21/2026 Tab =Boxing Tab Alt+C", "ABCD;" + xmas);
    add("Shift+Tab from the first cell saves the row", 4, "click:1,1 =Bx Backtab Backtab Esc",
        "A;" + bx + ";CD");
    add("Tab from the last cell leaves the grid, the row unsaved", 4,
        "click:0,1 =Alfa Tab Tab Backtab Esc Alt+C", "ABCD");
    add("a stored date refused, then corrected at once", 4,
        "click:0,0 F2 Ctrl+A =12/32/2026 Return =12/31/2026_9:00_AM Return Alt+C",
        "2026-12-31 09:00:00|Alpha|0;BCD", "Invalid event date");
    add("a started row with no row above saved by Up", 0, "Alt+A =12/20/2026 Tab =Xmas Up Esc Esc",
        xmas);
    add("evening time opened and left", 4, "dbl:3,0 Return Up Down F2 Return Up Alt+C", "ABCD");
    add("typed times", 4, "click:0,0 =12/28/2026_10:30:15_PM Down =7:05_PM Up Alt+C",
        "2026-12-28 22:30:15|Alpha|0;2026-12-11 19:05:00|Bravo|-1;CD");
    add("Alt+C while typing", 4, "Alt+A =12/20/2026 Tab =Party Alt+C",
        "ABCD;2026-12-20 00:00:00|Party|0");
    add("close box while typing", 4, "click:0,1 =Alfa close", alfa);
    add("Alt+R, then a heading click, while typing", 4,
        "click:0,1 =Alfa Alt+R click:1,1 =Bx head:1 Alt+C", alfa.left(27) + bx + ";CD");
    add("option click while typing", 4, "click:0,1 =Alfa opt:5 Alt+C", alfa);
    add("Alt+D while typing", 4, "click:1,1 =Bx Alt+D Alt+C", "ACD",
        "Are you sure you want to remove '12/11/2026 9:05 AM/Bx' from Datebell?");
    add("record selector, then delete", 4, "sel:2 Alt+D Alt+C", "ABD",
        "Are you sure you want to remove '12/12/2026/Charlie' from Datebell?");
    add("Esc cancels the cell in an editor, else the row", 4,
        "click:0,1 =Alfa Esc Down click:1,1 =Bx Return Esc Down Alt+C", "ABCD");
    add("annual flag", 4, "click:0,2 F2 Up Return Down Alt+C", "2026-12-10 00:00:00|Alpha|-1;BCD");
    add("invalid date, empty description, each dropped with Esc", 4,
        "click:0,0 =soon Down Esc click:0,1 F2 Ctrl+A Backspace Return Esc Down Alt+C", "ABCD",
        "Invalid event date;Invalid event description");
    add("no records to delete; a new row without a date kept at Alt+C", 0,
        "Alt+D Alt+A Tab =Party Alt+C =12/20/2026 Alt+C", "2026-12-20 00:00:00|Party|0",
        "There are currently no records to delete.;Invalid event date");
    add("Add Event bypasses a new row without a date", 0,
        "Alt+A Tab =Party Alt+A =12/20/2026 Tab =Xmas Alt+C", xmas,
        "Invalid data for new record...record bypassed");
}

void tst_frmEventMaint::keystrokes()
{
    QFETCH(int, records);
    QFETCH(QString, script);
    QFETCH(QString, rows);
    QFETCH(QString, boxes);
    open(fixture.mid(0, records));
    play(script);
    QVERIFY(!m_window->isVisible());
    QStringList expected;
    for (const QString &row : rows.split(u';', Qt::SkipEmptyParts)) {
        if (row.size() > 4)
            expected << row;
        for (int i = 0; row.size() <= 4 && i < row.size(); ++i)
            expected << fixture.at(row.at(i).unicode() - u'A');
    }
    expected.sort();
    QCOMPARE(m_folder->rows(), expected);
    QCOMPARE(m_messages.prompts.join(u';'), boxes);
}

void tst_frmEventMaint::habits_data()
{
    QTest::addColumn<int>("records"); // the first rows of the fixture
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("each"); // typed for each event: %1 its date, %2 its description
    QTest::addColumn<QString>("boxes"); // the message each event gives
    const auto add = [](const char *name, int records, const char *each, const char *boxes = "",
                        const char *locale = "en_US") {
        QTest::newRow(name) << records << QString::fromLatin1(locale) << QString::fromLatin1(each)
                            << QString::fromLatin1(boxes);
    };
    add("Return, then Down", 0, "=%1 Tab =%2 Return Down");
    add("Return, then Down, under stored rows", 4, "=%1 Tab =%2 Return Down");
    add("Down from the description", 4, "=%1 Tab =%2 Down");
    add("Tab to the Annual cell, then Down", 0, "=%1 Tab =%2 Tab Down");
    add("a click on the new-record row", 4, "=%1 Tab =%2 click:new,0");
    add("Add Event each time", 0, "Alt+A =%1 Tab =%2");
    add("Down from the description, German dates", 0, "=%1 Tab =%2 Down", "", "de_DE");
    add("a refused date corrected at once", 0, "=3/32/2026 Return =%1 Tab =%2 Return Down",
        "Invalid event date");
    add("a refused date left by Down, then corrected", 4, "=3/32/2026 Down =%1 Tab =%2 Down",
        "Invalid event date");
    add("a missing description typed after its message", 0, "=%1 Down =%2 Down",
        "Invalid event description");
}

// Three events typed one after another, the way a person does it: the file holds the three,
// each exactly as typed, and the rows that were there.
void tst_frmEventMaint::habits()
{
    QFETCH(int, records);
    QFETCH(QString, locale);
    QFETCH(QString, each);
    QFETCH(QString, boxes);
    QLocale::setDefault(QLocale(locale));
    const bool german = locale == u"de_DE";
    const QStringList dates = german ? QStringList{ "20.12.2026", "21.12.26_9:30", "14.3." }
                                     : QStringList{ "12/20/2026", "12/21/26_9:30_AM", "3/14" };
    const QStringList descriptions{ "Dentist", "Barber_&_Co", "Pi" };
    open(fixture.mid(0, records));
    QString script = each.startsWith(u"Alt+A") ? QString() : u"Alt+A "_qs;
    for (int i = 0; i < 3; ++i)
        script += each.arg(dates[i], descriptions[i]) + u' ';
    play(script + u"Alt+C");
    QVERIFY(!m_window->isVisible());
    QStringList expected = fixture.mid(0, records);
    expected << "2026-12-20 00:00:00|Dentist|0"
             << "2026-12-21 09:30:00|Barber & Co|0"
             << "2026-03-14 00:00:00|Pi|0";
    expected.sort();
    QCOMPARE(m_folder->rows(), expected);
    QCOMPARE(m_messages.prompts.join(u';'),
             boxes.isEmpty() ? QString() : QStringList(3, boxes).join(u';'));
}

void tst_frmEventMaint::deleteLeavesTheFollowingRecord_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("position");
    for (int records = 1; records <= 5; ++records) {
        for (int position = 0; position < records; ++position)
            QTest::addRow("%d of %d", position + 1, records) << records << position;
    }
}

// The record after the deleted one becomes current, or the new last one; a second Delete
// Event deletes that one.
void tst_frmEventMaint::deleteLeavesTheFollowingRecord()
{
    QFETCH(int, records);
    QFETCH(int, position);
    QStringList rows;
    for (int i = 0; i < records; ++i)
        rows << u"2026-12-1%1 00:00:00|E%1|0"_qs.arg(i);
    open(rows);
    play(u"click:%1,1 Alt+D"_qs.arg(position));
    const int current = position < records - 1 ? position : position - 1;
    QCOMPARE(grid()->currentIndex().row(), qMax(current, 0));
    rows.removeAt(position);
    QCOMPARE(m_folder->rows(), rows);
    play(u"Alt+D"_qs);
    if (current >= 0)
        rows.removeAt(current);
    QCOMPARE(m_folder->rows(), rows);
}

void tst_frmEventMaint::openAndLeaveChangesNothing_data()
{
    QTest::addColumn<QString>("locale");
    for (const char *name : { "en_US", "en_GB", "en_CA", "de_DE", "fr_FR", "da_DK", "ja_JP", "C" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Every cell opened and left, and every date given a trailing blank, which reads back as the
// same date: the file is as it was.
void tst_frmEventMaint::openAndLeaveChangesNothing()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    QStringList rows{ "2026-12-10 00:00:00|Midnight|0", "2026-12-11 09:05:00|Morning|-1",
                      "2026-12-12 12:00:00|Noon|0", "2026-12-28 22:30:15|Evening|0",
                      "2028-02-29 00:00:00|Leap|-1" };
    rows << u"2028-03-01 07:00:00|%1|0"_qs.arg(QString(300, u'x'));
    open(rows);
    for (int row = 0; row < rows.size(); ++row)
        play(u"dbl:%1,0 Return dbl:%1,1 Return dbl:%1,2 Return click:%1,0 F2 End =_ Return"_qs.arg(
                row));
    play(u"Alt+C"_qs);
    QCOMPARE(m_folder->rows(), rows);
    QCOMPARE(m_messages.prompts, QStringList());
}

void tst_frmEventMaint::sortByHeading_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("heading");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("order"); // the descriptions, top to bottom
    const auto add = [](const char *from, int heading, const char *to, const char *order) {
        const QString select = u"SELECT * FROM Events ORDER BY "_qs;
        QTest::addRow("%s, click %d", from, heading)
                << select + QLatin1String(from) << heading << select + QLatin1String(to) << order;
    };
    add("EventDate, Description", 0, "EventDate desc, Description", "cabd");
    add("EventDate, Description", 1, "Description, EventDate", "abcd");
    add("Description, EventDate", 1, "Description desc, EventDate", "dcba");
    add("Description desc, EventDate", 0, "EventDate, Description", "dabc");
    add("EventDate, Description", 2, "RepeatFlag, EventDate, Description", "bcda");
    add("RepeatFlag, EventDate, Description", 2, "RepeatFlag desc, EventDate, Description", "dabc");
}

void tst_frmEventMaint::sortByHeading()
{
    QFETCH(QString, from);
    QFETCH(int, heading);
    QFETCH(QString, to);
    QFETCH(QString, order);
    open({ "2026-01-01 00:00:00|b|-1", "2026-01-01 00:00:00|a|0", "2026-02-01 00:00:00|c|-1",
           "2025-12-01 00:00:00|d|0" });
    QCOMPARE(m_window->Data1.RecordSource(),
             u"SELECT * FROM Events ORDER BY EventDate, Description"_qs);
    m_window->Data1.setRecordSource(from);
    play(u"Alt+R head:%1"_qs.arg(heading));
    QCOMPARE(m_window->Data1.RecordSource(), to);
    QString shown;
    for (int row = 0; row < 4; ++row)
        shown += grid()->model()->index(row, 1).data().toString();
    QCOMPARE(shown, order);
    QCOMPARE(grid()->currentIndex().row(), 0);
    QVERIFY(grid()->selectionModel()->isSelected(grid()->model()->index(3, heading)));
}

// Another program locks the file, then deletes a row the grid shows: the grid still paints,
// every refused write is reported and keeps what was typed, and nothing ends the program.
void tst_frmEventMaint::lockedOrChangedFile()
{
    open(fixture);
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(m_folder->database().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    grid()->viewport()->repaint();
    play(u"Alt+A =12/20/2026 Tab =New Up"_qs);
    QCOMPARE(grid()->currentIndex().row(), 4); // the new row stays, unsaved
    play(u"Alt+D click:1,1 =Bx Down"_qs); // stays on the row, which is the one selected
    QCOMPARE(grid()->selectionModel()->selectedIndexes(), { grid()->model()->index(1, 1) });
    sqlite3_close(other); // which rolls its transaction back
    m_folder->exec(u"DELETE FROM Events WHERE Description = 'Charlie'"_qs);
    grid()->viewport()->repaint();
    play(u"Down =12/13/2026 Down"_qs);
    QCOMPARE(grid()->currentIndex().row(), 2);
    play(u"Esc Down Alt+C"_qs);
    QCOMPARE(m_folder->rows(),
             QStringList({ fixture[0], "2026-12-11 09:05:00|Bx|-1", fixture[3] }));
    const QStringList &asked = m_messages.prompts;
    QCOMPARE(asked.size(), 4);
    QVERIFY(asked[0].contains(u"in use by another program") && asked[2] == asked[0]);
    QCOMPARE(asked[1], u"Are you sure you want to remove '12/20/2026/New' from Datebell?"_qs);
    QVERIFY(asked[3].contains(u"another program has deleted it"));
}

// Random scripts over the real view, message boxes answered at random. Whatever the keys,
// the file holds no row the grid refuses, loses no row without a confirmed Delete Event, and
// holds no date or time that was neither there nor typed.
void tst_frmEventMaint::randomKeystrokes()
{
    const QStringList words = u"Tab Backtab Up Down Left Right Return Esc F2 Home End Backspace "
                              "Del Ctrl+A Alt+A Alt+R Alt+D =12/20/2026 =1/5/2027_7:05_PM =10:30 "
                              "=Word =_ =x click:1,1 click:4,0 dbl:2,0 sel:3"_qs.split(u' ');
    QSet<QString> allowed;
    for (const char *date : { "2026-12-10", "2026-12-11", "2026-12-12", "2026-12-28", "2026-12-20",
                              "2027-01-05", "2026-12-06" })
        for (const char *time : { "00:00:00", "09:05:00", "22:30:15", "10:30:00", "19:05:00" })
            allowed << QLatin1String(date) + u' ' + QLatin1String(time);
    QRandomGenerator random(20261206);
    int confirmed = 0;
    m_messages.answering = [&](const QString &title) {
        const bool yes = random.bounded(2) == 0;
        confirmed += yes && title == u"Confirm delete";
        return yes ? MsgBoxResult::Yes : MsgBoxResult::No;
    };
    for (int run = 0; run < 200; ++run) {
        if (run == 0 || !m_window->isVisible())
            open(run == 0 ? fixture : QStringList());
        const qsizetype before = m_folder->rows().size();
        confirmed = 0;
        QStringList script;
        for (int i = random.bounded(3, 10); i > 0; --i)
            script << words.at(random.bounded(words.size()));
        play(script.join(u' ') + (random.bounded(4) == 0 ? u" close" : u""));
        const QStringList rows = m_folder->rows();
        QVERIFY2(rows.size() >= before - confirmed, qPrintable(script.join(u' ')));
        for (const QString &row : rows)
            QVERIFY2(allowed.contains(row.section(u'|', 0, 0))
                             && !row.section(u'|', 1, 1).isEmpty(),
                     qPrintable(row + u" after " + script.join(u' ')));
    }
}

// What the window shows of what is stored. Rows another tool wrote in forms of its own are
// marked, and can be corrected; a description is one line high whatever it holds, and the
// delete question, in a real message box, shows it as plain text.
void tst_frmEventMaint::storedRowsAndHorizon()
{
    m_folder = std::make_unique<ProgramFolder>(false);
    m_folder->exec(u"INSERT INTO Events VALUES ('2026-03-11', 'short date', 7), "
                   "(NULL, 'no date', -1), ('2026-03-12 00:00:00', '<b>Boss</b>' || char(10) || "
                   "'<i>party</i>', 0)"_qs);
    QtMessageService messages;
    m_window = std::make_unique<frmEventMaint>(
            WindowContext{ m_folder->path(), m_settings, m_clock, messages, m_help, {}, {} });
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const auto malformed = [this](int row) {
        return grid()->model()->index(row, 0).data(EventGridModel::MalformedRole).toBool();
    };
    QVERIFY(malformed(0) && malformed(1) && !malformed(2)); // NULL sorts first
    // Any flag but 0 is annual; the empty new-record row shows no flag.
    QVERIFY(grid()->model()->index(1, 2).data() == u"Yes"_qs
            && grid()->model()->index(3, 2).data().isNull());
    QCOMPARE(grid()->model()->index(2, 1).data(), u"<b>Boss</b> <i>party</i>"_qs);
    QCOMPARE(grid()->rowHeight(2), grid()->rowHeight(0));
    // A cell too narrow for its text shows it whole, with its line break, in a tooltip.
    grid()->setColumnWidth(1, 40);
    const QPoint cell = grid()->visualRect(grid()->model()->index(2, 1)).center();
    QHelpEvent tip(QEvent::ToolTip, cell, grid()->viewport()->mapToGlobal(cell));
    QApplication::sendEvent(grid()->viewport(), &tip);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(PoorlyNamedAccessibles(m_window.get()), QStringList());
    QVERIFY(QToolTip::text().contains(u"&lt;b&gt;Boss&lt;/b&gt;<br/>&lt;i&gt;"_qs));
    QString question;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_qs);
            question = label->textFormat() == Qt::PlainText ? label->text() : QString();
            box->button(QMessageBox::No)->click();
        }
    });
    answer.start(20);
    play(u"click:2,1 Alt+D"_qs);
    answer.stop();
    m_window->activateWindow(); // which the offscreen platform does not do when a box closes
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(
            question,
            u"Are you sure you want to remove '3/12/2026/<b>Boss</b> <i>party</i>' from Datebell?"_qs);
    play(u"click:1,0 F2 End =_ Return Alt+C"_qs);
    QVERIFY(m_folder->rows().contains(u"2026-03-11 00:00:00|short date|7"_qs));
}

void tst_frmEventMaint::horizon_data()
{
    QTest::addColumn<QString>("stored"); // DaysAhead before; "" for none
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("checked"); // the option checked at load, -1 for none
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("days");
    // Tab from Help reaches the options on the checked one; Down moves on from there.
    QTest::newRow("nothing stored, Tab x5, Down x4") << ""
                                                     << "Tab Tab Tab Tab Tab Down Down "
                                                        "Down Down Alt+C"
                                                     << 2 << "6" << 30;
    QTest::newRow("Tab reaches the option stored")
            << "4"
            << "Tab Tab Tab Tab Tab Up Alt+C" << 4 << "3" << 4;
    QTest::newRow("a click") << "2"
                             << "opt:0 Alt+C" << 2 << "0" << 1;
    // A hand-edited value that selects no option stays as it is.
    QTest::newRow("9 kept") << "9"
                            << "Alt+C" << -1 << "9" << 10;
    QTest::newRow("99999999 kept") << "99999999"
                                   << "Alt+C" << -1 << "99999999" << 3;
}

void tst_frmEventMaint::horizon()
{
    QFETCH(QString, stored);
    QFETCH(QString, keys);
    QFETCH(int, checked);
    QFETCH(QString, saved);
    QFETCH(int, days);
    if (!stored.isEmpty())
        m_settings.values.insert(u"Settings/DaysAhead"_qs, stored);
    if (stored == u"99999999")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"DaysAhead.*out of range"_qs));
    open({});
    for (int i = 0; i < 7; ++i)
        QCOMPARE(m_window->optDays[i]->isChecked(), i == checked);
    play(keys);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_settings.values.value(u"Settings/DaysAhead"_qs), saved);
    QCOMPARE(giDaysAhead, days);
}

QTEST_MAIN(tst_frmEventMaint)
#include "tst_frmeventmaint.moc"
