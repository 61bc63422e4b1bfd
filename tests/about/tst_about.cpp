#include "about/frmAbout.h"
#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "engine/registry.h"
#include "fixtures.h"
#include "uifakes.h"
#include "windows/help.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

namespace {

const QByteArray toolKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray toolDirectoryKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

// A registry in memory: keys under HKEY_LOCAL_MACHINE by path, each value a type and bytes.
class MemoryRegistry final : public Registry
{
public:
    struct Key
    {
        bool writable = true;
        QMap<QByteArray, std::pair<quint32, QByteArray>> values; // name -> type, bytes
    };

    // A key's handle is its place in `opened`, counted from 1.
    long RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32, quint32 access,
                       quintptr *key) override
    {
        opened << subKey;
        if (root != RegistryConstant::HKeyLocalMachine || !keys.contains(subKey))
            return RegistryConstant::ErrorFileNotFound;
        constexpr quint32 writeRights = 0x2 | 0x4 | 0x20; // set value, create subkey, link
        if (!keys[subKey].writable && (access & writeRights))
            return RegistryConstant::ErrorAccessDenied;
        *key = quintptr(opened.size());
        ++open;
        return 0;
    }
    long RegQueryValueExA(quintptr key, const QByteArray &name, quint32 *type, QByteArray &data,
                          quint32 *size) override
    {
        const auto &values = keys[opened.at(key - 1)].values;
        if (!values.contains(name))
            return RegistryConstant::ErrorFileNotFound;
        const auto [valueType, bytes] = values.value(name);
        const bool fits = quint32(bytes.size()) <= *size;
        if (fits) {
            data.replace(0, bytes.size(), bytes);
            *type = valueType;
        }
        *size = quint32(bytes.size());
        return fits ? 0 : RegistryConstant::ErrorMoreData;
    }
    long RegCloseKey(quintptr) override
    {
        --open;
        return 0;
    }

    QMap<QByteArray, Key> keys;
    QList<QByteArray> opened; // every key asked for, in order
    int open = 0;
};

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getKeyValue_data();
    void getKeyValue();
    void systemInformation_data();
    void systemInformation();
    void help_data();
    void help();
};

void tst_About::getKeyValue_data()
{
    QTest::addColumn<quint32>("type"); // 0: no such value
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text"); // "<error>": the invalid-argument error

    const QByteArray long1024(1024, 'a');
    QTest::newRow("string with its NUL")
            << 1u << QByteArray("C:\\x.exe", 9) << true << true << "C:\\x.exe";
    QTest::newRow("two NULs keep one")
            << 1u << QByteArray("abc\0\0", 5) << true << true << QString::fromLatin1("abc\0", 4);
    QTest::newRow("1024 bytes") << 1u << long1024 << true << true << QString::fromLatin1(long1024);
    QTest::newRow("1025 bytes") << 1u << QByteArray(1025, 'a') << true << false << "";
    // A DWORD's four bytes, little-endian.
    QTest::newRow("DWORD 261") << 4u << QByteArray("\x05\x01\0\0", 4) << true << true << "261";
    QTest::newRow("DWORD, top bit set")
            << 4u << QByteArray("\x85\xff\xff\xff", 4) << true << true << "-123";
    QTest::newRow("expandable string") << 2u << QByteArray("x\0", 2) << true << true << "before";
    QTest::newRow("no such value") << 0u << QByteArray() << true << false << "";
    QTest::newRow("read-only key") << 1u << QByteArray("abc") << false << false << "";
    QTest::newRow("size 0") << 1u << QByteArray() << true << false << "<error>";
    QTest::newRow("another root") << 1u << QByteArray("abc") << true << false << "";
}

void tst_About::getKeyValue()
{
    QFETCH(quint32, type);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, writable);
    QFETCH(bool, found);
    QFETCH(QString, text);

    MemoryRegistry registry;
    registry.keys[toolKey].writable = writable;
    if (type)
        registry.keys[toolKey].values.insert("PATH", { type, bytes });
    QString value = u"before"_qs;
    const quint32 root = QByteArray(QTest::currentDataTag()) == "another root"
            ? 0x80000001 // HKEY_CURRENT_USER
            : RegistryConstant::HKeyLocalMachine;
    const auto read = [&] {
        return GetKeyValue(registry, root, QString::fromLatin1(toolKey), u"PATH"_qs, value);
    };
    if (text == u"<error>") {
        QVERIFY_THROWS_EXCEPTION(DatebellError, read());
    } else {
        QCOMPARE(read(), found);
        QCOMPARE(value, text);
    }
    QCOMPARE(registry.open, 0); // every key opened is closed again
}

void tst_About::systemInformation_data()
{
    QTest::addColumn<QString>("path"); // PATH under the tool's key; "-" none, "<file>" a program
    QTest::addColumn<quint32>("pathType");
    QTest::addColumn<QString>("directory"); // MSINFO: "-" none, "<with>" or "<without>" the file
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("started"); // pressing the button starts a program, or says it cannot
    QTest::addColumn<int>("lookups");

    QTest::newRow("PATH names a program") << "<file>" << 1u << "-" << true << true << 1;
    QTest::newRow("PATH names nothing") << "/no/such/msinfo32" << 1u << "-" << true << false << 1;
    QTest::newRow("PATH not a plain string") << "x" << 2u << "-" << true << false << 1;
    QTest::newRow("PATH empty") << "" << 1u << "<with>" << false << false << 1;
    QTest::newRow("folder with the tool") << "-" << 0u << "<with>" << true << true << 2;
    QTest::newRow("folder without the tool") << "-" << 0u << "<without>" << false << false << 2;
    QTest::newRow("neither") << "-" << 0u << "-" << false << false << 2;
}

void tst_About::systemInformation()
{
    QFETCH(QString, path);
    QFETCH(quint32, pathType);
    QFETCH(QString, directory);
    QFETCH(bool, shown);
    QFETCH(bool, started);
    QFETCH(int, lookups);

    QTemporaryDir dir;
    const QString tool = QDir(dir.path()).filePath(u"MSINFO32.EXE"_qs);
    if (directory == u"<with>" || path == u"<file>")
        QVERIFY(writeFile(tool, {}));
    MemoryRegistry registry;
    if (path != u"-") {
        const QByteArray value = (path == u"<file>" ? tool : path).toLatin1();
        registry.keys[toolKey].values.insert("PATH", { pathType, value });
    }
    if (directory != u"-")
        registry.keys[toolDirectoryKey].values.insert("MSINFO", { 1, dir.path().toLatin1() });

    QStringList startedPrograms;
    FakeMessages messages;
    frmAbout about(registry, messages, [&](const QString &program) {
        startedPrograms << program;
        return QFile::exists(program);
    });
    QCOMPARE(!about.cmdSysInfo->isHidden(), shown);
    QCOMPARE(registry.opened.size(), lookups);

    about.StartSysInfo();
    QCOMPARE(messages.prompts,
             started ? QStringList()
                     : QStringList{ u"System Information Is Unavailable At This Time"_qs });
    if (started)
        QCOMPARE(startedPrograms, QStringList{ tool });

    // Opened twice, closed with Esc and then with Enter: nothing is left behind, neither a
    // window nor the busy pointer.
    for (const Qt::Key key : { Qt::Key_Escape, Qt::Key_Return }) {
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
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
    QVERIFY(QTest::qWaitForWindowActive(viewer));
    QCOMPARE(viewer->source(), QUrl::fromLocalFile(guide));
    QCOMPARE(viewer->verticalScrollBar()->value(), 0);
    QCOMPARE(viewer->frameGeometry().center().x(), owner->frameGeometry().center().x());

    // The window that asked goes; asked again from another, the same viewer comes forward.
    owner.reset();
    QWidget other;
    other.show();
    help.ShowContents(&other, guide);
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(help.viewer(), viewer.data());
    QVERIFY(QTest::qWaitForWindowActive(viewer));
    QTest::keyClick(viewer, Qt::Key_Escape);
    QTRY_VERIFY(!viewer);
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
