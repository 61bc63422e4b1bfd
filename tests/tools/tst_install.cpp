#include "fixtures.h"
#include "tools/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

// The installed program folder and the desktop entries it adds, in a folder whose path has a
// space and a dollar sign in it.
class tst_Install : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void execLine_data();
    void execLine();
    void reinstallKeepsEvents();
    void desktopEntries();

private:
    void install();

    QTemporaryDir m_root;
    QString m_folder;
    QProcessEnvironment m_environment;
};

void tst_Install::initTestCase()
{
    m_folder = m_root.path() + u"/my programs/date$bell"_qs;
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(u"XDG_DATA_HOME"_qs, m_root.path() + u"/data"_qs);
    m_environment.insert(u"XDG_CONFIG_HOME"_qs, m_root.path() + u"/config"_qs);
    // No user manager to reach: the units are written and checked, never started.
    QVERIFY(QDir().mkpath(m_root.path() + u"/runtime"_qs));
    m_environment.insert(u"XDG_RUNTIME_DIR"_qs, m_root.path() + u"/runtime"_qs);
    m_environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_qs);
    install();
}

void tst_Install::install()
{
    const Run run =
            runProgram(QStringLiteral(CMAKE_EXE),
                       { u"--install"_qs, QStringLiteral(BUILD_DIR), u"--prefix"_qs, m_folder },
                       m_environment);
    QVERIFY2(run.code == 0, qPrintable(describe(run)));
    for (const char *file :
         { "datebell", "libdatebell-windows.so", "datebell-newdb", "datebell-desktop",
           "datebell-events", "Datebell.html", "datebell.svg", "datebell-48.png", "Datebell.mdb" })
        QVERIFY2(QFile::exists(m_folder + u'/' + QLatin1String(file)), file);
}

void tst_Install::execLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << QStringList{ "/opt/datebell/datebell", "/S" }
                           << "/opt/datebell/datebell /S";
    QTest::newRow("dollar and quote") << QStringList{ "/x/$y\"z" } << "\"/x/\\\\$y\\\\\"z\"";
    QTest::newRow("backslash") << QStringList{ "/x\\y" } << "\"/x\\\\\\\\y\"";
    QTest::newRow("percent") << QStringList{ "/x/100%" } << "/x/100%%";
}

void tst_Install::execLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, exec);
    QCOMPARE(DesktopEntry::ExecLine(arguments), exec);
}

// A second install over a folder whose database holds events keeps them.
void tst_Install::reinstallKeepsEvents()
{
    const QString database = m_folder + u"/Datebell.mdb"_qs;
    QVERIFY(execSql(database, u"INSERT INTO Events VALUES ('2026-12-24 00:00:00', 'kept', -1)"_qs));
    install();
    QStringList rows;
    QVERIFY(execSql(database, u"SELECT Description FROM Events"_qs, &rows));
    QCOMPARE(rows, QStringList{ u"kept"_qs });
}

void tst_Install::desktopEntries()
{
    const QString tool = m_folder + u"/datebell-desktop"_qs;
    const QString launcher = m_root.path() + u"/data/applications/org.datebell.Datebell.desktop";
    const QString autostart = m_root.path() + u"/config/autostart/org.datebell.Datebell.desktop";
    const QString icon =
            m_root.path() + u"/data/icons/hicolor/48x48/apps/org.datebell.Datebell.png";
    const QString units = m_root.path() + u"/config/systemd/user/org.datebell.Datebell";
    const QString service = units + u".service", timer = units + u".timer";
    QCOMPARE(runProgram(tool, { u"install"_qs, u"--daily"_qs, u"24:00"_qs }, m_environment).code,
             2);
    QCOMPARE(runProgram(tool, { u"install"_qs, u"--daily"_qs, u"7:30"_qs, u"--autostart"_qs },
                        m_environment)
                     .code,
             0);
    for (const QString &file : { launcher, autostart, icon, service, timer })
        QVERIFY2(QFile::exists(file), qPrintable(file));
    QVERIFY(readFile(timer).contains("\nOnCalendar=*-*-* 07:30:00\nPersistent=true\n"));
    // The program's path, with its space and dollar sign, must name the program.
    if (!QStandardPaths::findExecutable(u"systemd-analyze"_qs).isEmpty()) {
        const Run verify =
                runProgram(u"systemd-analyze"_qs, { u"verify"_qs, u"--user"_qs, service, timer },
                           m_environment);
        QVERIFY2(verify.code == 0 && verify.errors.isEmpty(), qPrintable(describe(verify)));
    }

    const QString text = QString::fromUtf8(readFile(autostart));
    QVERIFY2(text.contains(u"\nExec=\"" + m_root.path()
                           + u"/my programs/date\\\\$bell/datebell\" /S\n"),
             qPrintable(text));
    if (QStandardPaths::findExecutable(u"desktop-file-validate"_qs).isEmpty())
        QSKIP("desktop-file-validate is not installed");
    const Run validate =
            runProgram(u"desktop-file-validate"_qs, { launcher, autostart }, m_environment);
    QVERIFY2(validate.code == 0 && validate.output.isEmpty() && validate.errors.isEmpty(),
             qPrintable(validate.output + validate.errors));

    QCOMPARE(runProgram(tool, { u"remove"_qs }, m_environment).code, 0);
    for (const QString &file : { launcher, autostart, icon, service, timer })
        QVERIFY2(!QFile::exists(file), qPrintable(file));
    QCOMPARE(runProgram(tool, { u"frobnicate"_qs }, m_environment).code, 2);
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
