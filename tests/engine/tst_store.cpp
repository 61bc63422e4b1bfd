#include "engine/errors.h"
#include "engine/eventdb.h"
#include "fixtures.h"

#include <QTest>

class tst_Store : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dateLiterals_data();
    void dateLiterals();
    void deleteKeepsPositions_data();
    void deleteKeepsPositions();
    void updateThatMovesRowsVisitsEachOnce();
};

void tst_Store::dateLiterals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: refused

    const auto row = [](const char *tag, const char *text, const char *expected = "") {
        QTest::newRow(tag) << QString::fromLatin1(text) << QString::fromLatin1(expected);
    };
    row("date and time", "x=#2026-12-06 10:30:00#", "x='2026-12-06 10:30:00'");
    row("T form", "x=#2026-12-06T10:30:00#", "x='2026-12-06 10:30:00'");
    row("three", "#2026-01-01#,#2026-01-02#,#1990-01-01#",
        "'2026-01-01 00:00:00','2026-01-02 00:00:00','1990-01-01 00:00:00'");
    row("in a text", "d='#1 fan' AND x<#2024-02-29#", "d='#1 fan' AND x<'2024-02-29 00:00:00'");
    row("not a day", "x<#2026-02-30#");
    row("short form", "x<#12/06/2026#");
    row("unclosed", "x<#2026-12-06");
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

// Deletes at the given positions, each after a move there: the rows after a deleted one
// move up a position, the position stays on the removed row, and MoveNext goes to the row
// after it. Rows added then come last; past the end there is no record to read.
void tst_Store::deleteKeepsPositions_data()
{
    QTest::addColumn<QList<int>>("deletes");
    QTest::addColumn<QString>("left"); // the descriptions, in order
    QTest::newRow("the middle one") << QList<int>{ 2 } << "0134";
    QTest::newRow("first, then first again") << QList<int>{ 0, 0 } << "234";
    QTest::newRow("last, then from the front") << QList<int>{ 4, 1, 0 } << "23";
    QTest::newRow("every one") << QList<int>{ 3, 0, 2, 1, 0 } << "";
}

void tst_Store::deleteKeepsPositions()
{
    QFETCH(QList<int>, deletes);
    QFETCH(QString, left);
    ProgramFolder folder;
    for (int i = 0; i <= 4; ++i)
        folder.add(QStringLiteral("2026-01-0%1 00:00:00").arg(i + 1), QString::number(i), 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Events ORDER BY EventDate"));
    for (const int position : deletes) {
        rs->setAbsolutePosition(position);
        rs->Delete();
        QCOMPARE(rs->AbsolutePosition(), position); // -1 at the end
        QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Fields(1).Value());
        QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Delete());
    }
    rs->MoveNext();
    const int follower = deletes.last();
    QCOMPARE(rs->EOF_(), follower >= left.size());
    if (!rs->EOF_())
        QCOMPARE(rs->Fields(1).Value().toString(), left.at(follower));
    // Rows added afterwards join the selection at its end; the third fills slot 8, whose
    // count of deleted rows spans every slot before it.
    for (const QChar added : u"567"_qs) {
        rs->AddNew();
        rs->Fields(1).setValue(QString(added));
        rs->Update();
        left += added;
    }
    QCOMPARE(rs->RecordCount(), left.size());
    QCOMPARE(folder.rows().size(), left.size());
    QString walked, byPosition;
    for (int position = 0; position < left.size(); ++position)
        byPosition += rs->rowValues(position).at(1).toString();
    for (rs->MoveFirst(); !rs->EOF_(); rs->MoveNext())
        walked += rs->Fields(1).Value().toString();
    QCOMPARE(walked, left);
    QCOMPARE(byPosition, left);
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->MoveNext());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Fields(1).Value());
    QVERIFY_THROWS_EXCEPTION(DatebellError, rs->Fields(QStringLiteral("NoSuchColumn")));
    rs->MoveLast(0);
    QCOMPARE(rs->Fields(QStringLiteral("description")).Value().toString(), u"7");
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

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
