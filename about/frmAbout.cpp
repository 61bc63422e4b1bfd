#include "about/frmAbout.h"

#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/registry.h"
#include "windows/layout.h"
#include "windows/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace {

const QString toolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString toolDirectoryKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString unavailable = QStringLiteral("System Information Is Unavailable At This Time");

// A line of the etched rule: a strip of one colour.
void rule(QWidget *parent, QRect geometry, QColor colour)
{
    auto *line = new QWidget(parent);
    line->setGeometry(geometry);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
}

} // namespace

frmAbout::frmAbout(Registry &registry, MessageService &messages,
                   std::function<bool(const QString &)> startProgram, QWidget *parent)
    : QDialog(parent),
      m_registry(registry),
      m_messages(messages),
      m_startProgram(std::move(startProgram))
{
    buildLayout();
    Form_Load();
}

void frmAbout::buildLayout()
{
    SetUpWindow(this, "frmAbout", QStringLiteral("About Datebell"), Qt::Dialog);
    setFixedSize(twips(5655), twips(3420));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twips(4245, 2085, 1260, 345));
    cmdOK->setDefault(true); // Enter; Esc closes the dialog as OK does
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(twips(4260, 2535, 1245, 345));
    cmdSysInfo->setAutoDefault(false);

    auto *picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twips(240, 240, 540, 540));
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setAutoFillBackground(true);
    QPalette grey = picIcon->palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    picIcon->setPalette(grey);
    picIcon->setPixmap(windowIcon().pixmap(32, 32));
    // The pictures have no text a screen reader could name them by; the buttons' purpose is
    // told beside their captions.
    picIcon->setAccessibleName(QStringLiteral("Datebell icon"));

    const auto label = [this](const char *name, const QString &caption, QRect geometry) {
        auto *created = new QLabel(caption, this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(geometry);
        created->setWordWrap(true);
        created->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return created;
    };
    lblVersion = label("lblVersion", QStringLiteral("Version"), twips(1050, 780, 3885, 225));
    lblTitle = label("lblTitle", QStringLiteral("Application Title"), twips(1050, 240, 3885, 480));
    lblDescription =
            label("lblDescription", QStringLiteral("Copyright \u00A9 2026 the Datebell developers"),
                  twips(1050, 1125, 3885, 210));

    // The etched rule: a grey line with a white one just beneath it.
    rule(this, QRect(twips(225), twips(1410), twips(5450) - twips(225), 1), QColor(128, 128, 128));
    rule(this, QRect(twips(240), twips(1425), twips(5450) - twips(240), 2), Qt::white);

    auto *Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twips(1020, 1560, 3060, 1770));
    Image1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Image1->setLineWidth(2);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QPixmap(QStringLiteral(":/datebell/about.png")));
    Image1->setAccessibleName(QStringLiteral("Datebell picture"));
    Image1->setAccessibleDescription(QStringLiteral("A bell ringing over a row of days"));
    cmdOK->setAccessibleDescription(QStringLiteral("Closes the About window"));
    cmdSysInfo->setAccessibleDescription(
            QStringLiteral("Starts the desktop's system information program"));

    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    CentreOn(this, parentWidget());
}

void frmAbout::Form_Load()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                                .arg(DATEBELL_VERSION_MAJOR)
                                .arg(DATEBELL_VERSION_MINOR)
                                .arg(DATEBELL_VERSION_PATCH));
    lblTitle->setText(AppTitle);
    if (!SysInfoObtainable())
        cmdSysInfo->hide();
}

std::optional<QString> frmAbout::findSysInfo()
{
    QString path;
    if (GetKeyValue(m_registry, RegistryConstant::HKeyLocalMachine, toolKey, QStringLiteral("PATH"),
                    path)) {
        return path; // found: its text is the command line, whether or not a program is there
    }
    QString directory;
    if (GetKeyValue(m_registry, RegistryConstant::HKeyLocalMachine, toolDirectoryKey,
                    QStringLiteral("MSINFO"), directory)) {
        // An ordinary file only: not a directory, nor a hidden one.
        const QFileInfo tool(QDir(directory).filePath(QStringLiteral("MSINFO32.EXE")));
        if (tool.isFile() && !tool.isHidden())
            return tool.filePath();
    }
    return std::nullopt;
}

bool frmAbout::SysInfoObtainable()
{
    try {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        return findSysInfo().has_value();
    } catch (const DatebellError &) {
        return false;
    }
}

void frmAbout::StartSysInfo()
{
    try {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        const auto program = findSysInfo();
        if (program && !program->isEmpty() && m_startProgram(*program))
            return;
    } catch (const DatebellError &) {
        // Any failure on the way ends in the same message.
    }
    m_messages.MsgBox(unavailable, MsgBoxStyle::OkOnly, AppTitle, this);
}

// Closing by any means is as OK.
void frmAbout::reject()
{
    cmdOK_Click();
}

// Called when OK is pressed, or Enter or Esc.
void frmAbout::cmdOK_Click()
{
    accept();
}

// Called when System Info is pressed.
void frmAbout::cmdSysInfo_Click()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    StartSysInfo();
}
