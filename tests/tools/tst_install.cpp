#include "fixtures.h"
#include "tools/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QMap>
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
    void desktopEntries_data();
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

// Each row starts from everything installed and runs the tool once more; `kept` names the files
// still there afterwards.
void tst_Install::desktopEntries_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("kept");
    const QStringList all{ "launcher", "autostart", "icon", "service", "timer" };
    QTest::newRow("remove") << QStringList{ "remove" } << 0 << QStringList{};
    QTest::newRow("remove the autostart alone")
            << QStringList{ "remove", "--autostart" } << 0
            << QStringList{ "launcher", "icon", "service", "timer" };
    QTest::newRow("install the launcher alone")
            << QStringList{ "install" } << 0 << QStringList{ "launcher", "icon" };
    QTest::newRow("daily past midnight")
            << QStringList{ "install", "--daily", "24:00" } << 2 << all;
    QTest::newRow("remove with a daily time")
            << QStringList{ "remove", "--daily", "07:00" } << 2 << all;
    QTest::newRow("unknown command") << QStringList{ "frobnicate" } << 2 << all;
    QTest::newRow("two commands") << QStringList{ "install", "remove" } << 2 << all;
}

void tst_Install::desktopEntries()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QStringList, kept);
    const QString tool = m_folder + u"/datebell-desktop"_qs;
    const QString units = m_root.path() + u"/config/systemd/user/org.datebell.Datebell";
    const QMap<QString, QString> files{
        { u"launcher"_qs, m_root.path() + u"/data/applications/org.datebell.Datebell.desktop" },
        { u"autostart"_qs, m_root.path() + u"/config/autostart/org.datebell.Datebell.desktop" },
        { u"icon"_qs, m_root.path() + u"/data/icons/hicolor/48x48/apps/org.datebell.Datebell.png" },
        { u"service"_qs, units + u".service" },
        { u"timer"_qs, units + u".timer" },
    };
    const Run install = runProgram(
            tool, { u"install"_qs, u"--daily"_qs, u"7:30"_qs, u"--autostart"_qs }, m_environment);
    QVERIFY2(install.code == 0, qPrintable(describe(install)));
    for (const QString &file : files)
        QVERIFY2(QFile::exists(file), qPrintable(file));
    QVERIFY(readFile(files[u"timer"_qs])
                    .contains("\nOnCalendar=*-*-* 07:30:00\nPersistent=true\n"));
    // The program's path, with its space and dollar sign, must name the program.
    if (!QStandardPaths::findExecutable(u"systemd-analyze"_qs).isEmpty()) {
        const Run verify =
                runProgram(u"systemd-analyze"_qs,
                           { u"verify"_qs, u"--user"_qs, files[u"service"_qs], files[u"timer"_qs] },
                           m_environment);
        QVERIFY2(verify.code == 0 && verify.errors.isEmpty(), qPrintable(describe(verify)));
    }
    const QString program = u"\"" + m_root.path() + u"/my programs/date\\\\$bell/datebell\"";
    const QString launcher = QString::fromUtf8(readFile(files[u"launcher"_qs]));
    const QString autostart = QString::fromUtf8(readFile(files[u"autostart"_qs]));
    // The windows' class is the application id; the launcher's action opens the editing window
    // alone; the start at login is listed by the desktop's start-up settings.
    QVERIFY2(launcher.contains(u"\nStartupWMClass=org.datebell.Datebell\n")
                     && launcher.contains(u"\nExec=" + program + u" /E\n"),
             qPrintable(launcher));
    QVERIFY2(autostart.contains(u"\nExec=" + program + u" /S\n")
                     && !autostart.contains(u"NoDisplay") && !autostart.contains(u"Hidden"),
             qPrintable(autostart));
    if (!QStandardPaths::findExecutable(u"desktop-file-validate"_qs).isEmpty()) {
        const Run validate =
                runProgram(u"desktop-file-validate"_qs,
                           { files[u"launcher"_qs], files[u"autostart"_qs] }, m_environment);
        QVERIFY2(validate.code == 0 && validate.output.isEmpty() && validate.errors.isEmpty(),
                 qPrintable(validate.output + validate.errors));
    }

    const Run run = runProgram(tool, arguments, m_environment);
    QVERIFY2(run.code == code, qPrintable(describe(run)));
    QStringList there;
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        if (QFile::exists(file.value()))
            there << file.key();
    }
    kept.sort();
    QCOMPARE(there, kept);
}

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_install.moc"
