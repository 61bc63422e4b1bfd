#include "engine/conversions.h"
#include "engine/errors.h"
#include "engine/settings.h"
#include "fixtures.h"

#include <QDir>
#include <QFile>
#include <QTest>

class tst_Settings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void daysAhead_data();
    void daysAhead();
    void settingsFile_data();
    void settingsFile();
};

void tst_Settings::daysAhead_data()
{
    QTest::addColumn<QString>("stored"); // "<absent>" for no value
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("warns");

    QTest::newRow("absent") << "<absent>" << 2 << 3 << false;
    QTest::newRow("0") << "0" << 0 << 1 << false;
    QTest::newRow("5") << "5" << 5 << 7 << false;
    QTest::newRow("6") << "6" << 6 << 30 << false;
    QTest::newRow("9") << "9" << 9 << 10 << false;
    QTest::newRow("-1") << "-1" << -1 << 0 << false;
    QTest::newRow("5.9 rounds to 30 days") << "5.9" << 6 << 30 << false;
    QTest::newRow("half to even, down") << "3.5" << 4 << 4 << false; // 4.5 -> 4
    QTest::newRow("half to even: 12.5") << "12.5" << 12 << 14 << false; // 13.5 -> 14
    QTest::newRow("half to even, up") << "4.5" << 4 << 7 << false; // 5.5 -> 6
    QTest::newRow("leading blanks") << " \t3" << 3 << 4 << false;
    QTest::newRow("trailing text") << "2 days" << 2 << 3 << false;
    QTest::newRow("no number") << "abc" << 0 << 1 << false;
    QTest::newRow("empty") << "" << 0 << 1 << false;
    QTest::newRow("exponent") << "1e1" << 10 << 11 << false;
    QTest::newRow("point first") << ".5" << 0 << 2 << false; // 0.5 -> 0, 1.5 -> 2
    QTest::newRow("point last") << "5." << 5 << 7 << false;
    QTest::newRow("sign alone") << "-" << 0 << 1 << false;
    QTest::newRow("bare exponent") << "3e" << 3 << 4 << false;
    QTest::newRow("too big") << "99999" << -1 << 3 << true;
    QTest::newRow("too big by one day") << "32767" << 32767 << 3 << true;
    QTest::newRow("infinite") << "1e999" << -1 << 3 << true;
}

void tst_Settings::daysAhead()
{
    QFETCH(QString, stored);
    QFETCH(int, index);
    QFETCH(int, days);
    QFETCH(bool, warns);

    MemorySettings settings;
    if (stored != QLatin1String("<absent>"))
        settings.values.insert(QStringLiteral("Settings/DaysAhead"), stored);
    if (warns)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"DaysAhead.*out of range"_qs));
    QCOMPARE(DaysAhead(settings), days);
    QCOMPARE(DaysAheadIndex(settings), index);
}

// The file as a person or the program left it; then a read, as a pass starts with, and a save.
// A file that cannot be used is named in one warning and none of its values is used; the save
// keeps it aside.
void tst_Settings::settingsFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("first"); // DaysAhead read before the save
    QTest::addColumn<QString>("saved"); // saved as DaysAhead; empty: no save
    QTest::addColumn<QString>("read"); // DaysAhead read back by a new store
    QTest::addColumn<bool>("malformed");
    const auto row = [](const char *tag, const QByteArray &file, const QString &saved,
                        const QString &read, const char *first = "2", bool malformed = false) {
        QTest::newRow(tag) << file << QString::fromLatin1(first) << saved << read << malformed;
    };
    row("comma, as typed", "[Settings]\nDaysAhead=5,9\n", "", "5,9", "5,9");
    row("comma", "", "5,9", "5,9");
    row("at sign", "", "@Variant(junk)", "@Variant(junk)");
    row("spaces", "", "  2 ", "  2 ");
    row("quote and backslash", "", "a\"b\\c", "a\"b\\c");
    row("non-ASCII", "", u"Grüße"_qs, u"Grüße"_qs);
    row("its folder is a file, save fails", "<folder>", "3", "");
    row("heading without ], then saved", "[Settings\nDaysAhead=3\n", "4", "4", "2", true);
    row("a PNG, then saved",
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + "\n[Settings]\nDaysAhead=3\n", "4", "4",
        "2", true);
}

void tst_Settings::settingsFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, first);
    QFETCH(QString, saved);
    QFETCH(QString, read);
    QFETCH(bool, malformed);
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"sub"_qs), path = folder + u"/Datebell.conf"_qs;
    const bool blocked = file == "<folder>"; // a file stands where the folder has to go
    if (blocked)
        QVERIFY(writeFile(folder, {}));
    else if (!file.isEmpty())
        QVERIFY(QDir().mkpath(folder) && writeFile(path, file));
    // One warning for a malformed file, and no save reported failed.
    QTest::failOnWarning(QRegularExpression(u".*"_qs));
    if (malformed)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"settings file '.*Datebell.conf' cannot be read.*"
                                                "uses the default settings"_qs));
    IniSettingsStore store(path);
    QCOMPARE(store.GetSetting(u"Datebell"_qs, u"Settings"_qs, u"DaysAhead"_qs, u"2"_qs), first);
    try {
        if (!saved.isEmpty())
            store.SaveSetting(u"Datebell"_qs, u"Settings"_qs, u"DaysAhead"_qs, saved);
        QVERIFY(!blocked);
    } catch (const DatebellError &error) {
        QVERIFY2(blocked && error.number() == ErrorNumber::SettingsNotSaved
                         && error.text().contains(path),
                 qPrintable(error.text()));
    }
    if (blocked)
        return;
    QCOMPARE(store.GetSetting(u"Datebell"_qs, u"Settings"_qs, u"DaysAhead"_qs, u"2"_qs), read);
    QCOMPARE(IniSettingsStore(path).GetSetting(u"Datebell"_qs, u"Settings"_qs, u"DaysAhead"_qs,
                                               u"2"_qs),
             read);
    // QSettings writes a leading @ as @@; a serialized QVariant would stand as =@Variant(.
    const QByteArray content = readFile(path);
    QVERIFY2(content.contains("[Settings]") && !content.contains("=@Variant("),
             content.constData());
    QCOMPARE(readFile(path + u".unreadable"_qs), malformed ? file : QByteArray());
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
