#include "engine/errors.h"
#include "engine/eventdb.h"
#include "fixtures.h"

#include <QFile>
#include <QTest>

class tst_Store : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openRefusesWhatIsNotAnEventDatabase_data();
    void openRefusesWhatIsNotAnEventDatabase();
    void dateLiterals_data();
    void dateLiterals();
    void walkAndCount();
    void emptyResult();
    void deleteKeepsPositionUntilMoveNext();
    void editUpdateKeepsRowCurrent();
    void updateThatMovesRowsVisitsEachOnce();
    void countQueryIsReadOnlyAndCaseBlind();
    void rowsAreFetchedOnDemand();
    void transactionRollsBackUnlessCommitted();
};

// Each case leaves the file exactly as it was, and never creates one.
void tst_Store::openRefusesWhatIsNotAnEventDatabase_data()
{
    QTest::addColumn<QByteArray>("content"); // "-" for no file at all
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");

    QTest::newRow("missing") << QByteArray("-") << int(ErrorNumber::FileNotFound)
                             << "datebell-newdb";
    QTest::newRow("text file") << QByteArray("hello\n") << int(ErrorNumber::UnrecognizedFormat)
                               << "not a SQLite";
    QTest::newRow("empty file") << QByteArray() << int(ErrorNumber::UnrecognizedFormat)
                                << "not a SQLite";
    QTest::newRow("Jet") << QByteArray("\0\1\0\0Standard Jet DB\0\1\0\0", 24)
                         << int(ErrorNumber::UnrecognizedFormat) << "Access (Jet)";
}

void tst_Store::openRefusesWhatIsNotAnEventDatabase()
{
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(QString, says);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Datebell.mdb"));
    if (content != "-") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    try {
        DBEngine::OpenDatabase(path);
        QFAIL("opened");
    } catch (const DatebellError &error) {
        QCOMPARE(error.number(), number);
        QVERIFY2(error.text().contains(path) && error.text().contains(says),
                 qPrintable(error.text()));
    }
    QCOMPARE(QFile::exists(path), content != "-");
    if (content != "-") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void tst_Store::dateLiterals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: refused

    QTest::newRow("date") << "x<#2026-12-06#"
                          << "x<'2026-12-06 00:00:00'";
    QTest::newRow("date and time") << "x=#2026-12-06 10:30:00#"
                                   << "x='2026-12-06 10:30:00'";
    QTest::newRow("T form") << "x=#2026-12-06T10:30:00#"
                            << "x='2026-12-06 10:30:00'";
    QTest::newRow("three") << "#2026-01-01#,#2026-01-02#,#1990-01-01#"
                           << "'2026-01-01 00:00:00','2026-01-02 00:00:00','1990-01-01 00:00:00'";
    QTest::newRow("in a text") << "d='#1 fan' AND x<#2024-02-29#"
                               << "d='#1 fan' AND x<'2024-02-29 00:00:00'";
    QTest::newRow("not a day") << "x<#2026-02-30#"
                               << "";
    QTest::newRow("short form") << "x<#12/06/2026#"
                                << "";
    QTest::newRow("unclosed") << "x<#2026-12-06"
                              << "";
}

void tst_Store::dateLiterals()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    try {
        QCOMPARE(TranslateDateLiterals(text), expected);
        QVERIFY(!expected.isEmpty());
    } catch (const DatebellError &error) {
        QVERIFY2(expected.isEmpty(), qPrintable(error.text()));
    }
}

void tst_Store::walkAndCount()
{
    ProgramFolder folder;
    for (int i = 1; i <= 5; ++i)
        folder.add(QStringLiteral("2026-01-0%1 00:00:00").arg(i), QString::number(i), 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events ORDER BY EventDate"));

    QVERIFY(!rs->EOF_());
    QCOMPARE(rs->Fields(QStringLiteral("Description")).Value().toString(), u"1");
    QCOMPARE(rs->Fields(1).Value().toString(), u"1");
    QCOMPARE(rs->RecordCount(), 1); // only the rows reached so far
    rs->MoveLast(0);
    QCOMPARE(rs->RecordCount(), 5);
    QCOMPARE(rs->Fields(QStringLiteral("description")).Value().toString(), u"5");

    QStringList seen;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        seen << rs->Fields(QStringLiteral("Description")).Value().toString();
    QCOMPARE(seen, QStringList({ "1", "2", "3", "4", "5" }));
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->MoveNext());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Fields(QStringLiteral("Description")).Value());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Fields(QStringLiteral("NoSuchColumn")));
}

void tst_Store::emptyResult()
{
    ProgramFolder folder;
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events"));
    QVERIFY(rs->EOF_());
    QCOMPARE(rs->RecordCount(), 0);
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->MoveFirst());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->MoveLast(0));
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Delete());
}

void tst_Store::deleteKeepsPositionUntilMoveNext()
{
    ProgramFolder folder;
    for (int i = 1; i <= 3; ++i)
        folder.add(QStringLiteral("2026-01-0%1 00:00:00").arg(i), QString::number(i), 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events ORDER BY EventDate"));
    rs->MoveNext();
    rs->Delete();
    // Gone from the table at once; the position stays on the removed row.
    QCOMPARE(folder.rows().size(), 2);
    QVERIFY(!rs->EOF_());
    try {
        rs->Fields(QStringLiteral("Description")).Value();
        QFAIL("read a deleted row");
    } catch (const DatebellError &error) {
        QCOMPARE(error.number(), ErrorNumber::RecordDeleted);
    }
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Delete());
    rs->MoveNext();
    QCOMPARE(rs->Fields(QStringLiteral("Description")).Value().toString(), u"3");
    QCOMPARE(rs->RecordCount(), 2);
}

void tst_Store::editUpdateKeepsRowCurrent()
{
    ProgramFolder folder;
    folder.add(QStringLiteral("2026-01-01 00:00:00"), QStringLiteral("a"), -1);
    folder.add(QStringLiteral("2026-01-02 00:00:00"), QStringLiteral("b"), -1);
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events ORDER BY EventDate"));

    try {
        rs->Fields(QStringLiteral("EventDate")).setValue(QDate(2027, 1, 1));
        QFAIL("set a value without Edit");
    } catch (const DatebellError &error) {
        QCOMPARE(error.number(), ErrorNumber::UpdateWithoutEdit);
    }
    rs->Edit();
    rs->Fields(QStringLiteral("EventDate"))
            .setValue(QDateTime(QDate(2027, 1, 1), QTime(9, 5), Qt::UTC));
    rs->Update(1, false);
    QCOMPARE(rs->Fields(QStringLiteral("EventDate")).Value().toString(), u"2027-01-01 09:05:00");
    QCOMPARE(rs->Fields(QStringLiteral("Description")).Value().toString(), u"a");
    rs->MoveNext();
    QCOMPARE(rs->Fields(QStringLiteral("Description")).Value().toString(), u"b");
    QCOMPARE(folder.rows(),
             QStringList({ "2026-01-02 00:00:00|b|-1", "2027-01-01 09:05:00|a|-1" }));
}

// SQLite may bring a row round again when an update moves it forward in the index being
// scanned; the record set fixes its selection first.
void tst_Store::updateThatMovesRowsVisitsEachOnce()
{
    ProgramFolder folder;
    folder.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299) "
            "INSERT INTO Events SELECT datetime('2020-01-01', '+' || i || ' days'), i, -1 FROM n"));
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(
            QStringLiteral("SELECT * From Events WHERE Events.EventDate<#2030-01-01#"));
    int visits = 0;
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext()) {
        rs->Edit();
        rs->Fields(QStringLiteral("EventDate")).setValue(QDate(2029, 1, 1).addDays(visits));
        rs->Update();
        ++visits;
    }
    QCOMPARE(visits, 300);
}

void tst_Store::countQueryIsReadOnlyAndCaseBlind()
{
    ProgramFolder folder(false);
    folder.exec(QStringLiteral("INSERT INTO Events VALUES ('2026-01-01 00:00:00', 'a', -1), "
                               "('2026-01-02 00:00:00', 'b', 0), ('2026-01-03 00:00:00', 'c', "
                               "NULL)"));
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(
            QStringLiteral("SELECT Count(RepeatFlag) AS CountOfRecs FROM events"));
    QCOMPARE(rs->Fields(QStringLiteral("CountOfRecs")).Value().toInt(), 2);
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Edit());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Delete());
}

void tst_Store::rowsAreFetchedOnDemand()
{
    ProgramFolder folder;
    folder.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999) "
            "INSERT INTO Events SELECT datetime('2020-01-01', '+' || i || ' days'), i, 0 FROM n"));
    const auto db = DBEngine::OpenDatabase(folder.database());
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events ORDER BY EventDate"));
    for (int i = 0; i < 49; ++i)
        rs->MoveNext();
    QCOMPARE(rs->Fields(QStringLiteral("Description")).Value().toString(), u"49");
    QCOMPARE(rs->RecordCount(), 50);
    // A closed record set holds no lock: another program can write at once.
    rs->Close();
    folder.exec(QStringLiteral("DELETE FROM Events"));
}

void tst_Store::transactionRollsBackUnlessCommitted()
{
    ProgramFolder folder;
    folder.add(QStringLiteral("2026-01-01 00:00:00"), QStringLiteral("a"), 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    {
        Transaction transaction(*db);
        db->Execute(QStringLiteral("DELETE FROM Events"));
    }
    QCOMPARE(folder.rows().size(), 1);
    {
        Transaction transaction(*db);
        db->Execute(QStringLiteral("DELETE FROM Events"));
        transaction.commit();
    }
    QCOMPARE(folder.rows().size(), 0);
}

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
