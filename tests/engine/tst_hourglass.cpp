#include "engine/clsHourglass.h"
#include "engine/errors.h"

#include <QTest>

class tst_Hourglass : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { ScreenPointer::setCode(ScreenPointer::Default); }
    void nestedHoldersRestoreInTurn();
    void releaseWithoutDisplaySetsDefault();
    void secondDisplayKeepsHourglass();
    void restoredWhenAnOperationFails();
    void substitute_data();
    void substitute();
    void hookSeesEveryChange();
};

void tst_Hourglass::nestedHoldersRestoreInTurn()
{
    ScreenPointer::setCode(3);
    {
        clsHourglass outer;
        outer.DisplayCursor();
        {
            clsHourglass inner;
            inner.DisplayCursor();
            QCOMPARE(ScreenPointer::code(), ScreenPointer::Hourglass);
        }
        QCOMPARE(ScreenPointer::code(), ScreenPointer::Hourglass);
    }
    QCOMPARE(ScreenPointer::code(), 3);
}

void tst_Hourglass::releaseWithoutDisplaySetsDefault()
{
    ScreenPointer::setCode(ScreenPointer::Hourglass);
    {
        clsHourglass holder;
    }
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
}

void tst_Hourglass::secondDisplayKeepsHourglass()
{
    {
        clsHourglass holder;
        holder.DisplayCursor();
        holder.DisplayCursor();
    }
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Hourglass);
}

void tst_Hourglass::restoredWhenAnOperationFails()
{
    const auto operation = [] {
        clsHourglass holder;
        holder.DisplayCursor();
        throw DatebellError(1, u"failed"_qs);
    };
    QVERIFY_THROWS_EXCEPTION(DatebellError, operation());
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
}

void tst_Hourglass::substitute_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("shown"); // -1: refused with `error`
    QTest::addColumn<int>("error");
    QTest::newRow("0 removes the override") << QVariant(0) << 0 << 0;
    QTest::newRow("numeric text") << QVariant(u" 7 "_qs) << 7 << 0;
    QTest::newRow("half to even") << QVariant(12.5) << 12 << 0;
    QTest::newRow("not a number") << QVariant(u"abc"_qs) << -1 << int(ErrorNumber::TypeMismatch);
    QTest::newRow("too big") << QVariant(40000) << -1 << int(ErrorNumber::Overflow);
}

void tst_Hourglass::substitute()
{
    QFETCH(QVariant, value);
    QFETCH(int, shown);
    QFETCH(int, error);
    ScreenPointer::setCode(ScreenPointer::Hourglass);
    {
        clsHourglass holder;
        try {
            holder.DisplayCursor(value);
            QCOMPARE(shown >= 0, true);
            QCOMPARE(ScreenPointer::code(), shown);
        } catch (const DatebellError &e) {
            QCOMPARE(e.number(), error);
            // The code was saved before the conversion failed; the pointer is unchanged.
            QCOMPARE(ScreenPointer::code(), ScreenPointer::Hourglass);
        }
    }
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Hourglass);
}

void tst_Hourglass::hookSeesEveryChange()
{
    QList<qint16> seen;
    ScreenPointer::setHook([&](qint16 code) { seen << code; });
    {
        clsHourglass holder;
        holder.DisplayCursor();
    }
    ScreenPointer::setHook(nullptr);
    QCOMPARE(seen, QList<qint16>({ 11, 0 }));
}

QTEST_GUILESS_MAIN(tst_Hourglass)
#include "tst_hourglass.moc"
