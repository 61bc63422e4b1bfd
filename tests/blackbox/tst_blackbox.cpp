#include "fixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// Runs the built program as a login session would: a copy in a program folder of its own, no
// display, today set with faketime.
class tst_Blackbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void silentPass_data();
    void silentPass();

private:
    QString m_faketime;
};

void tst_Blackbox::initTestCase()
{
    m_faketime = QStandardPaths::findExecutable(u"faketime"_qs);
    if (m_faketime.isEmpty())
        QSKIP("faketime is not installed");
}

void tst_Blackbox::silentPass_data()
{
    QTest::addColumn<bool>("withDatabase");
    QTest::addColumn<bool>("dueEvent");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing due") << true << false << 0 << "";
    QTest::newRow("due, no display") << true << true << 1 << "No display";
    QTest::newRow("no database") << false << false << 1 << "datebell-newdb";
}

void tst_Blackbox::silentPass()
{
    QFETCH(bool, withDatabase);
    QFETCH(bool, dueEvent);
    QFETCH(int, status);
    QFETCH(QString, says);

    ProgramFolder folder;
    const QString exe = folder.path() + u"/datebell";
    QVERIFY(QFile::copy(QStringLiteral(DATEBELL_EXE), exe));
    // Both past events were shown by the last run, on 20 February.
    folder.add(u"2026-02-20 00:00:00"_qs, u"past one-off"_qs, 0);
    folder.add(u"2026-02-20 00:00:00"_qs, u"past annual"_qs, -1);
    folder.add(u"2026-06-01 00:00:00"_qs, u"later"_qs, 0);
    if (dueEvent)
        folder.add(u"2026-03-11 00:00:00"_qs, u"tomorrow"_qs, 0);
    if (!withDatabase)
        QVERIFY(QFile::remove(folder.database()));

    QTemporaryDir config;
    QVERIFY(QDir().mkpath(config.path() + u"/Datebell"));
    QFile conf(config.path() + u"/Datebell/Datebell.conf");
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[Settings]\nLastRemindDate=2026-02-20\n");
    conf.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(name));
    env.insert(u"XDG_CONFIG_HOME"_qs, config.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(m_faketime, { u"-f"_qs, u"@2026-03-10 12:00:00"_qs, exe, u"/S"_qs });
    QVERIFY(process.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == status, qPrintable(errors));
    QVERIFY2(errors.contains(says), qPrintable(errors));

    QVERIFY(conf.open(QIODevice::ReadOnly));
    const QByteArray settings = conf.readAll();
    if (status == 0) {
        QVERIFY(errors.isEmpty());
        QVERIFY(settings.contains("LastRemindDate=2026-03-10"));
        QCOMPARE(folder.rows(),
                 QStringList(
                         { "2026-06-01 00:00:00|later|0", "2027-02-20 00:00:00|past annual|-1" }));
    } else {
        QVERIFY(settings.contains("LastRemindDate=2026-02-20"));
        QCOMPARE(QFile::exists(folder.database()), withDatabase);
    }
}

QTEST_GUILESS_MAIN(tst_Blackbox)
#include "tst_blackbox.moc"
