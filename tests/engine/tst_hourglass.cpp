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
    void overrideCursorFollowsTheCode();
};

// A holder saves the code on each DisplayCursor and puts it back on release. Nested holders,
// and the wait cursor they show, are in overrideCursorFollowsTheCode.
void tst_Hourglass::holders_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QVariantList>("displays"); // each call's substitute; an invalid one: none
    QTest::addColumn<int>("inside"); // the code while the holder lives
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("error"); // the error the last call raises; 0: none
    const auto row = [](const char *tag, int start, const QVariantList &displays, int inside,
                        int after, int error = 0) {
        QTest::newRow(tag) << start << displays << inside << after << error;
    };
    row("construction changes nothing; release sets 0", 11, {}, 11, 0);
    row("a second display keeps the hourglass", 0, { QVariant(), QVariant() }, 11, 11);
    row("0 removes the override", 11, { 0 }, 0, 11);
    row("numeric text", 11, { u" 7 "_qs }, 7, 11);
    row("half to even", 11, { 12.5 }, 12, 11);
    row("half up to even", 11, { 3.5 }, 4, 11);
    // The code is saved before the conversion fails; the pointer is left as it was.
    row("not a number", 11, { u"abc"_qs }, 11, 11, ErrorNumber::TypeMismatch);
    row("too big", 11, { 40000 }, 11, 11, ErrorNumber::Overflow);
}

void tst_Hourglass::holders()
{
    QFETCH(int, start);
    QFETCH(QVariantList, displays);
    QFETCH(int, inside);
    QFETCH(int, after);
    QFETCH(int, error);
    ScreenPointer::setCode(qint16(start));
    {
        clsHourglass holder;
        try {
            for (const QVariant &substitute : displays)
                holder.DisplayCursor(substitute.isValid() ? std::optional(substitute)
                                                          : std::nullopt);
            QCOMPARE(error, 0);
        } catch (const DatebellError &e) {
            QCOMPARE(e.number(), error);
        }
        QCOMPARE(ScreenPointer::code(), inside);
    }
    QCOMPARE(ScreenPointer::code(), after);
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
