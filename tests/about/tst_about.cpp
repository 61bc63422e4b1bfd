#include "about/frmAbout.h"
#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/registry.h"
#include "fixtures.h"
#include "uifakes.h"
#include "windows/help.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

namespace {

// Puts a program in `folder`: a script that writes how it was started to `marker`. A name
// ending in "!" is a file that may not be run; one ending in "?" has no interpreter.
bool install(const QString &folder, QString name, const QString &marker)
{
    const bool runnable = !name.endsWith(u'!');
    const QByteArray interpreter = name.endsWith(u'?') ? "/nonexistent/sh" : "/bin/sh";
    name.remove(u'!').remove(u'?');
    const QString path = QDir(folder).filePath(name);
    QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner;
    if (runnable)
        mode |= QFile::ExeOwner;
    return writeFile(path,
                     "#!" + interpreter + "\nprintf '%s' \"${0##*/}${1:+ $1}\" > '"
                             + QFile::encodeName(marker) + "'\n")
            && QFile::setPermissions(path, mode);
}

// A folder under `base` whose program `name` makes a command line of `bytes` bytes with its
// terminating NUL; `base` itself for 0.
QString folderFor(const QString &base, const QString &name, int bytes)
{
    QString folder = base;
    // A slash, the quotes and the NUL; a quote in the path is written as three.
    const auto length = [&] {
        return int(folder.size() + 2 * folder.count(u'"') + name.size()) + 4;
    };
    while (bytes && length() < bytes) {
        const int missing = bytes - length();
        folder += u'/' + QString(qMin(200, qMax(1, missing - 1)), u'd');
    }
    return QDir().mkpath(folder) ? folder : QString();
}

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void systemInformation_data();
    void systemInformation();
    void help_data();
    void help();
};

void tst_About::systemInformation_data()
{
    // Programs in the one folder on PATH; "!" not executable, "?" one that cannot start.
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("desktop"); // XDG_CURRENT_DESKTOP
    QTest::addColumn<int>("commandBytes"); // 0: a short folder
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("ran"); // how the program found was run; empty: none was

    const QString all = u"hardinfo gnome-control-center kinfocenter"_qs;
    QTest::newRow("KDE: kinfocenter") << all << "KDE" << 0 << true << "kinfocenter";
    QTest::newRow("GNOME: Settings' About page")
            << all << "ubuntu:GNOME" << 0 << true << "gnome-control-center about";
    QTest::newRow("GNOME Settings passed over elsewhere") << "gnome-control-center hardinfo"
                                                          << "XFCE" << 0 << true << "hardinfo";
    QTest::newRow("none installed") << ""
                                    << "GNOME" << 0 << false << "";
    QTest::newRow("not executable") << "kinfocenter!"
                                    << "KDE" << 0 << false << "";
    QTest::newRow("cannot start") << "hardinfo?"
                                  << "KDE" << 0 << true << "";
    // The value is read into a buffer of 1024 bytes; a longer one is as none.
    QTest::newRow("command of 1024 bytes") << "kinfocenter"
                                           << "KDE" << 1024 << true << "kinfocenter";
    QTest::newRow("command of 1025 bytes") << "kinfocenter"
                                           << "KDE" << 1025 << false << "";
}

// The registry of this desktop finds the system information program on PATH, and the button
// starts it as the program window's own start does.
void tst_About::systemInformation()
{
    QFETCH(QString, installed);
    QFETCH(QString, desktop);
    QFETCH(int, commandBytes);
    QFETCH(bool, shown);
    QFETCH(QString, ran);

    // A folder whose path needs quoting on a command line.
    QTemporaryDir dir;
    const QString marker = dir.filePath(u"ran"_qs);
    const QString folder = folderFor(dir.filePath(u"my \"tools\" folder"_qs),
                                     installed.section(u' ', 0, 0).remove(u'!'), commandBytes);
    QVERIFY(!folder.isEmpty());
    for (const QString &name : installed.split(u' ', Qt::SkipEmptyParts))
        QVERIFY(install(folder, name, marker));
    const QByteArray path = qgetenv("PATH"), desktops = qgetenv("XDG_CURRENT_DESKTOP");
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", path);
        qputenv("XDG_CURRENT_DESKTOP", desktops);
    });
    qputenv("PATH", QFile::encodeName(folder));
    qputenv("XDG_CURRENT_DESKTOP", desktop.toUtf8());

    DesktopRegistry registry;
    FakeMessages messages;
    frmAbout about(registry, messages, StartCommandLine);
    QCOMPARE(!about.cmdSysInfo->isHidden(), shown);

    about.StartSysInfo();
    QCOMPARE(messages.prompts,
             ran.isEmpty() ? QStringList{ u"System Information Is Unavailable At This Time"_qs }
                           : QStringList());
    if (!ran.isEmpty())
        QTRY_COMPARE(QString::fromUtf8(readFile(marker)), ran);

    // Opened twice, closed with Esc and then with Enter: nothing is left behind, neither a
    // window nor the busy pointer.
    for (const Qt::Key key : { Qt::Key_Escape, Qt::Key_Return }) {
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(PoorlyNamedAccessibles(&about), QStringList());
        QTest::keyClick(&about, key);
        QVERIFY(about.isHidden() && about.result() == QDialog::Accepted);
        QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
    }
}

void tst_About::help_data()
{
    QTest::addColumn<bool>("viewerStarts"); // the desktop's viewer opens the guide
    QTest::addColumn<bool>("guidePresent");

    QTest::newRow("the desktop's viewer") << true << true;
    QTest::newRow("the program's own viewer") << false << true;
    QTest::newRow("guide missing") << false << false;
}

// The guide opens in the desktop's viewer, or else in one window of the program's own that no
// window of the program closes or replaces, at the top, over the window that asked.
void tst_About::help()
{
    QFETCH(bool, viewerStarts);
    QFETCH(bool, guidePresent);

    QTemporaryDir dir;
    const QString guide = dir.filePath(u"Datebell.html"_qs);
    const QByteArray page = "<p>Datebell</p>" + QByteArray(400, '\n').replace("\n", "<p>.</p>")
            + "<h1 id=\"contents\">Contents</h1>";
    if (guidePresent)
        QVERIFY(writeFile(guide, page));

    QList<QUrl> asked;
    FakeMessages messages;
    QtHelpService help(messages, [&](const QUrl &url) {
        asked << url;
        return viewerStarts;
    });
    auto owner = std::make_unique<QWidget>();
    owner->setGeometry(150, 0, 400, 300);
    owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(owner.get()));
    help.ShowContents(owner.get(), guide);

    QCOMPARE(messages.prompts,
             guidePresent ? QStringList()
                          : QStringList{ u"The user guide %1 cannot be found or read. It is "
                                         "installed in the folder of the program."_qs.arg(guide) });
    QCOMPARE(asked, guidePresent ? QList<QUrl>{ QUrl::fromLocalFile(guide) } : QList<QUrl>());
    QPointer<QTextBrowser> viewer = help.viewer();
    QCOMPARE(bool(viewer), guidePresent && !viewerStarts);
    if (!viewer)
        return;
    QVERIFY(QTest::qWaitForWindowActive(viewer->window()));
    QCOMPARE(viewer->source(), QUrl::fromLocalFile(guide));
    QCOMPARE(viewer->verticalScrollBar()->value(), 0);
    QCOMPARE(viewer->window()->frameGeometry().center().x(), owner->frameGeometry().center().x());

    // The window that asked goes; asked again from another, the same viewer comes forward.
    owner.reset();
    QWidget other;
    other.show();
    help.ShowContents(&other, guide);
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(help.viewer(), viewer.data());
    QVERIFY(QTest::qWaitForWindowActive(viewer->window()));
    QTest::keyClick(viewer, Qt::Key_Escape);
    QTRY_VERIFY(!viewer);
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
