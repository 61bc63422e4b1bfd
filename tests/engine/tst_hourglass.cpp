#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "windows/cursorhook.h"

#include <QGuiApplication>
#include <QTest>
#include <QWidget>

class tst_Hourglass : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { ScreenPointer::setCode(ScreenPointer::Default); }
    void holders_data();
    void holders();
    void substitute_data();
    void substitute();
    void overrideCursorFollowsTheCode();
};

// Nested holders, and the wait cursor they show, are in overrideCursorFollowsTheCode.
void tst_Hourglass::holders_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("displays"); // DisplayCursor calls on the holder
    QTest::addColumn<int>("inside"); // the code while the holder lives
    QTest::addColumn<int>("after");
    QTest::newRow("construction changes nothing; release sets 0") << 11 << 0 << 11 << 0;
    QTest::newRow("a second display keeps the hourglass") << 0 << 2 << 11 << 11;
}

void tst_Hourglass::holders()
{
    QFETCH(int, start);
    QFETCH(int, displays);
    QFETCH(int, inside);
    QFETCH(int, after);
    ScreenPointer::setCode(qint16(start));
    {
        clsHourglass holder;
        for (int i = 0; i < displays; ++i)
            holder.DisplayCursor();
        QCOMPARE(ScreenPointer::code(), inside);
    }
    QCOMPARE(ScreenPointer::code(), after);
}

void tst_Hourglass::substitute_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("shown"); // -1: refused with `error`
    QTest::addColumn<int>("error");
    QTest::newRow("0 removes the override") << QVariant(0) << 0 << 0;
    QTest::newRow("numeric text") << QVariant(u" 7 "_qs) << 7 << 0;
    QTest::newRow("half to even") << QVariant(12.5) << 12 << 0;
    QTest::newRow("half up to even") << QVariant(3.5) << 4 << 0;
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

// Qt's override cursor is the wait cursor exactly while the code is the hourglass, and none is
// left once the holders are gone and the window has closed.
void tst_Hourglass::overrideCursorFollowsTheCode()
{
    InstallCursorHook();
    const auto cursor = [] {
        const QCursor *shown = QGuiApplication::overrideCursor();
        return shown ? int(shown->shape()) : -1;
    };
    auto window = std::make_unique<QWidget>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    {
        clsHourglass outer;
        outer.DisplayCursor();
        QCOMPARE(cursor(), int(Qt::WaitCursor));
        {
            clsHourglass inner;
            inner.DisplayCursor();
        }
        QCOMPARE(cursor(), int(Qt::WaitCursor));
        outer.DisplayCursor(0);
        QCOMPARE(cursor(), -1);
        outer.DisplayCursor();
        window.reset();
    }
    QCOMPARE(cursor(), -1);
    ScreenPointer::setHook(nullptr);
}

QTEST_MAIN(tst_Hourglass)
#include "tst_hourglass.moc"
