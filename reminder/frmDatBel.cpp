#include "reminder/frmDatBel.h"

#include "engine/basDatBel.h"
#include "engine/clsHourglass.h"
#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/globals.h"
#include "engine/platform.h"
#include "windows/help.h"
#include "windows/layout.h"
#include "windows/messages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <utility>

namespace {

// Design-time layout, in twips.
constexpr int clientWidth = 7380;
constexpr int statusHeight = 315;
constexpr int exitHeight = 615;
// Title bar, menu bar and borders: an outer height H has a client area of H - 780.
constexpr int outerAllowance = 780;
// Geometry that every fill of the list starts from.
constexpr int startOuterHeight = 1875;
constexpr int startListHeight = 900;
constexpr int startExitTop = 90;
constexpr int maxSizedLines = 18;

const QString countQuery = QStringLiteral("SELECT Count(RepeatFlag) AS CountOfRecs FROM events");

// A list line's description as it is stored, line breaks and all, for its tooltip.
constexpr int WholeDescriptionRole = Qt::UserRole + 1;

// Draws a list line's date, then its description at one tab stop, so that the descriptions
// line up whatever the date's width.
class TabStopDelegate : public QStyledItemDelegate
{
public:
    TabStopDelegate(int tabStop, QObject *parent) : QStyledItemDelegate(parent), m_tabStop(tabStop)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString line = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(
                opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics metrics(opt.font);
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        const auto [date, description] = parts(opt, line);
        if (!date.text.isEmpty())
            painter->drawText(date.rect, flags, date.text);
        painter->drawText(
                description.rect, flags,
                metrics.elidedText(description.text, Qt::ElideRight, description.rect.width()));
        painter->restore();
    }

    // A line whose description does not fit shows it whole in a tooltip, as plain text.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const auto [date, description] = parts(opt, opt.text);
        if (QFontMetrics(opt.font).horizontalAdvance(description.text)
            <= description.rect.width()) {
            QToolTip::hideText();
            return true;
        }
        const QString whole = date.text + u' ' + index.data(WholeDescriptionRole).toString();
        QToolTip::showText(event->globalPos(), PlainTooltip(whole.trimmed()), view->viewport(),
                           option.rect);
        return true;
    }

private:
    struct Part
    {
        QString text;
        QRect rect;
    };
    // The date before the tab, and the description from the tab stop on.
    std::pair<Part, Part> parts(const QStyleOptionViewItem &opt, const QString &line) const
    {
        const QWidget *widget = opt.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            return { Part(), Part{ line, text } };
        QRect rest = text;
        rest.setLeft(text.left() + m_tabStop);
        return { Part{ line.left(tab), text }, Part{ line.mid(tab + 1), rest } };
    }

    int m_tabStop;
};

// A status panel whose text, when it does not fit, is cut short with an ellipsis instead of
// running into the next panel; its tooltip then shows it whole.
class PanelLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override
    {
        return QSize(frameWidth() * 2, QLabel::minimumSizeHint().height());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect room = contentsRect();
        style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, room.width()),
                              foregroundRole());
    }
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip
            && fontMetrics().horizontalAdvance(text()) > contentsRect().width()) {
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                               text().toHtmlEscaped(), this);
            return true;
        }
        return QLabel::event(event);
    }
};

// The widest list date in this font and locale, plus a gap: where descriptions start.
int listTabStop(const QFont &font)
{
    const QFontMetrics metrics(font);
    int widest = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 22; day <= 28; ++day) // a week covers every day name
            widest = qMax(widest, metrics.horizontalAdvance(ListDateText(QDate(2026, month, day))));
    }
    return widest + metrics.averageCharWidth() * 3;
}

} // namespace

frmDatBel::frmDatBel(const WindowContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context)
{
    buildLayout();
    Form_Load();
    CentreOnScreen(this);
}

frmDatBel::~frmDatBel() = default;

void frmDatBel::buildLayout()
{
    SetUpWindow(this, "frmDatBel", QStringLiteral("Datebell for Windows"), Qt::Window);

    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    mnuFileExit->setShortcut(Qt::CTRL | Qt::Key_X);
    QMenu *mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuEditEdit = mnuEdit->addAction(QStringLiteral("&Edit Events"));
    mnuEditEdit->setObjectName(QStringLiteral("mnuEditEdit"));
    mnuEditEdit->setShortcut(Qt::CTRL | Qt::Key_E);
    QMenu *mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelp = mnuHelp->addAction(QStringLiteral("&Help"));
    mnuHelpHelp->setObjectName(QStringLiteral("mnuHelpHelp"));
    mnuHelpHelp->setShortcut(Qt::CTRL | Qt::Key_H);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuHelpSep"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About"));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
    mnuHelpAbout->setShortcut(Qt::CTRL | Qt::Key_A);
    mnuDummy = menuBar()->addAction(AppTitle);
    mnuDummy->setObjectName(QStringLiteral("mnuDummy"));

    m_client = new QWidget(this);
    setCentralWidget(m_client);

    lstEvents = new QListWidget(m_client);
    lstEvents->setObjectName(QStringLiteral("lstEvents"));
    lstEvents->setAccessibleName(QStringLiteral("Reminders"));
    lstEvents->setFont(LayoutFont(9.75));
    QPalette listColours = lstEvents->palette();
    listColours.setColor(QPalette::Base, QColor(192, 192, 192));
    listColours.setColor(QPalette::Text, QColor(0, 0, 255));
    lstEvents->setPalette(listColours);
    lstEvents->setSelectionMode(QAbstractItemView::SingleSelection);
    lstEvents->setSortingEnabled(false);
    lstEvents->setUniformItemSizes(true);
    lstEvents->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstEvents->setItemDelegate(new TabStopDelegate(listTabStop(lstEvents->font()), lstEvents));
    lstEvents->viewport()->installEventFilter(this);

    sbStatus = new QStatusBar(m_client);
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    sbStatus->setSizeGripEnabled(false);
    sbStatus->setAccessibleName(QStringLiteral("Status"));
    sbStatus->setAutoFillBackground(true); // over the list where they overlap, not see-through
    for (int panel = 1; panel <= 5; ++panel) {
        auto *label = new PanelLabel(sbStatus);
        label->setObjectName(QStringLiteral("sbStatusPanel%1").arg(panel));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setContentsMargins(1, 0, 1, 0);
        panels << label;
    }
    // Panels 1 to 3 share what the date and time panels leave; those are as wide as their text.
    for (int panel = 0; panel < 3; ++panel)
        sbStatus->addWidget(panels[panel], 1);
    sbStatus->addPermanentWidget(panels[3]);
    sbStatus->addPermanentWidget(panels[4]);

    cmdExit = new QPushButton(QStringLiteral("E&xit"), m_client);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdExit->setDefault(true);
    // Enter and Esc press Exit from any control: the button is default and cancel button.
    for (const QKeySequence &key : { QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter),
                                     QKeySequence(Qt::Key_Escape) }) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, cmdExit, &QPushButton::click);
    }
    setTabOrder(lstEvents, cmdExit);
    lstEvents->setFocus();

    m_clockTimer = new QTimer(this);
    m_clockTimer->setSingleShot(true);
    connect(m_clockTimer, &QTimer::timeout, this, &frmDatBel::updateClockPanels);
    updateClockPanels();

    connect(cmdExit, &QPushButton::clicked, this, &frmDatBel::cmdExit_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmDatBel::mnuFileExit_Click);
    connect(mnuEditEdit, &QAction::triggered, this, &frmDatBel::mnuEditEdit_Click);
    connect(mnuHelpHelp, &QAction::triggered, this, &frmDatBel::mnuHelpHelp_Click);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &frmDatBel::mnuHelpHelp_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmDatBel::mnuHelpAbout_Click);
}

// Panels 4 and 5: today's date and the time, renewed when the time shown changes: each
// second where the short time form shows seconds (as the C locale's does), else each minute.
void frmDatBel::updateClockPanels()
{
    const QDateTime now = m_context.clock.now();
    setPanelText(4, ShortDateText(now.date()));
    setPanelText(5, QLocale().toString(now.time(), QLocale::ShortFormat));
    const int period = QLocale().timeFormat(QLocale::ShortFormat).contains(u's') ? 1000 : 60000;
    const int into = (now.time().second() * 1000 + now.time().msec()) % period;
    m_clockTimer->start(period - into + 50);
    // The wall clock's date, read at each tick, is what notices a new day: midnight, a resume
    // after suspend (when timers stood still) or the clock set. While the maintenance window
    // is open the new day's pass waits for it to close.
    FollowTheDay();
}

void frmDatBel::FollowTheDay()
{
    if (mbListLoaded && !m_unloaded && !m_maintOpen && m_context.clock.today() != m_listDay)
        RunHandler(m_context.messages, [this] { StartDayPass(); });
}

// The reminder pass for the day the clock shows: the events shown on the list's day are not
// due again, and the new day counts as a pass once its list is on the screen.
void frmDatBel::StartDayPass()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    gdtLastRemind = m_listDay;
    m_listDay = m_context.clock.today();
    BuildReminderQuery(m_context.settings, m_context.clock);
    mnuDummy->setText(QStringLiteral("Reminders since: ") + ShortDateText(gdtLastRemind));
    LoadListBox();
    m_context.messages.Beep();
    // Until the new list is on the screen (a minimized window shows nothing), the tidy keeps to
    // the horizon of the list that was.
    m_pendingRecord = m_listDay;
    m_pendingShownUntil = gdtRemindUntil;
    if (!windowHandle())
        winId();
    windowHandle()->installEventFilter(this);
    if (windowHandle()->isExposed())
        recordPendingPass();
}

void frmDatBel::recordPendingPass()
{
    if (!m_pendingRecord.isValid())
        return;
    m_shownUntil = m_pendingShownUntil;
    RecordPass(m_context.settings, m_pendingRecord, EventDatabasePath(m_context.programDirectory),
               [this](const DatebellError &error) {
                   WriteErrorReport(error);
                   m_context.messages.MsgBox(ErrorReportText(error), MsgBoxStyle::Information,
                                             AppTitle, this);
               });
    m_pendingRecord = QDate();
}

// Sets a status panel's text. A panel keeps its minimum width; the date and the time are
// never narrower than their text (the desktop's font may be wider than the one the panels were
// laid out for), and the counts share what is left, cut short where they do not fit.
void frmDatBel::setPanelText(int panel, const QString &text)
{
    static constexpr int minimumWidth[] = { 1000, 1000, 1000, 900, 800 };
    QLabel *label = panels[panel - 1];
    label->setText(text);
    const int least = twips(minimumWidth[panel - 1]);
    label->setMinimumWidth(panel > 3 ? qMax(least, label->sizeHint().width()) : least);
}

void frmDatBel::Form_Load()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    mnuDummy->setText(QStringLiteral("Reminders since: ") + ShortDateText(gdtLastRemind));
    m_listDay = m_context.clock.today();
    LoadListBox();
    m_shownUntil = gdtRemindUntil;
    mbListLoaded = true;
    const QString clockNotice =
            ClockNotice(gdbEvents->Name(), gdtLastRemind, m_context.clock.today());
    if (!clockNotice.isEmpty())
        m_notices << clockNotice;
    m_readOnly = gdbEvents->ReadOnlyReason();
    if (!m_readOnly.isEmpty())
        m_notices << QStringLiteral("Past events cannot be tidied and events cannot be edited: "
                                    "'%1' cannot be written, because %2.\nInstall Datebell into "
                                    "a folder of your own (the README says how), or make this "
                                    "one writable for you.")
                             .arg(gdbEvents->Name(), m_readOnly);
    m_context.messages.Beep();
}

// Once, when the window is first shown: the notices come over it, not before it.
void frmDatBel::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Centred again by its frame at its first exposure, once the window manager framed it.
    windowHandle()->installEventFilter(this);
    if (!m_notices.isEmpty())
        QTimer::singleShot(0, this, &frmDatBel::showNotices);
}

void frmDatBel::showNotices()
{
    for (const QString &notice : std::exchange(m_notices, {}))
        m_context.messages.MsgBox(notice, MsgBoxStyle::Information, AppTitle, this);
}

void frmDatBel::LoadListBox()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    if (mbListLoaded)
        lstEvents->clear();
    m_outerHeight = startOuterHeight;
    m_listHeight = startListHeight;
    m_exitTop = startExitTop;

    setPanelText(3, QStringLiteral("Days ahead = ") + QString::number(giDaysAhead));
    {
        const auto count = gdbEvents->OpenRecordset(countQuery);
        setPanelText(2,
                     QStringLiteral("Total Reminders = ")
                             + count->Fields(QStringLiteral("CountOfRecs")).Value().toString());
        count->Close();
    }

    const auto due = gdbEvents->OpenRecordset(gsSQL);
    qint32 n = 0;
    if (!due->EOF_()) {
        due->MoveLast(0);
        n = qint32(due->RecordCount());
    }
    setPanelText(1, QStringLiteral("Current Reminders = ") + QString::number(n));

    if (due->EOF_()) {
        lstEvents->addItem(QStringLiteral("No current events for reminding!"));
    } else {
        for (due->MoveFirst(); !due->EOF_(); due->MoveNext()) {
            // A date text that is not in the stored form is shown as it stands.
            const QString stored = due->Fields(QStringLiteral("EventDate")).Value().toString();
            const auto date = StoredDateValue(stored);
            const QString shownDate = date ? ListDateText(date->date()) : stored;
            const QString description =
                    due->Fields(QStringLiteral("Description")).Value().toString();
            // One line per event, the date and the description apart at the tab stop; a screen
            // reader hears the two with a pause, not a tab.
            const QString oneLine = OneLine(description);
            auto *line = new QListWidgetItem(shownDate + u'\t' + oneLine, lstEvents);
            line->setData(Qt::AccessibleTextRole,
                          QString(shownDate + QStringLiteral(", ") + oneLine));
            line->setData(WholeDescriptionRole, description);
        }
    }

    if (n > 3) {
        n = qMin(n, maxSizedLines);
        m_listHeight = (m_listHeight / 3) * n;
        m_outerHeight = m_listHeight + 1100;
        m_exitTop = (m_listHeight - exitHeight) / 2;
    }
    applyGeometry();
    due->Close();
}

void frmDatBel::applyGeometry()
{
    const int clientHeight = m_outerHeight - outerAllowance;
    m_client->setFixedSize(twips(clientWidth), twips(clientHeight));
    lstEvents->setGeometry(twips(0, 0, 6255, m_listHeight));
    cmdExit->setGeometry(twips(6480, m_exitTop, 735, exitHeight));
    // Docked to the bottom over the full width, and above the list where they overlap.
    sbStatus->setGeometry(0, twips(clientHeight) - twips(statusHeight), twips(clientWidth),
                          twips(statusHeight));
    sbStatus->raise();
    setFixedSize(twips(clientWidth), twips(clientHeight) + menuBar()->sizeHint().height());
}

void frmDatBel::Form_Unload()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    // After a pass more than a year back, the clock may have been set ahead by mistake: a tidy
    // would delete every one-off event up to that date.
    const auto confirm = [this] {
        clsHourglass pointer; // the plain pointer while the user answers
        pointer.DisplayCursor(QVariant(ScreenPointer::Default));
        return m_context.messages.MsgBox(ClockQuestion(gdtLastRemind, m_context.clock.today()),
                                         MsgBoxStyle::Question | MsgBoxStyle::DefaultSecond,
                                         AppTitle, this)
                == MsgBoxResult::Yes;
    };
    if (m_readOnly.isEmpty())
        RollPastEvents(*gdbEvents, m_context.clock, m_shownUntil, confirm);
    gdbEvents->Close();
    gdbEvents.reset();
}

// Called when the window closes by any means; the closing is never refused.
void frmDatBel::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        RunHandler(m_context.messages, [this] { Form_Unload(); });
    }
    event->accept();
}

// A double click anywhere in the list, on a line or not.
bool frmDatBel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstEvents->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            lstEvents_DblClick();
        return true;
    }
    if (watched == windowHandle() && event->type() == QEvent::Expose
        && windowHandle()->isExposed()) {
        if (!m_centred && frameGeometry() != geometry()) {
            m_centred = true;
            CentreOnScreen(this);
        }
        recordPendingPass();
    }
    return QMainWindow::eventFilter(watched, event);
}

// Called when the Exit button is pressed, or Enter or Esc.
void frmDatBel::cmdExit_Click()
{
    close();
}

// Called when File, Exit is chosen.
void frmDatBel::mnuFileExit_Click()
{
    close();
}

// Called when Edit, Edit Events is chosen.
void frmDatBel::mnuEditEdit_Click()
{
    RunHandler(m_context.messages, [this] {
        if (m_context.openEventMaint) {
            m_maintOpen = true;
            const auto closed = qScopeGuard([this] { m_maintOpen = false; });
            m_context.openEventMaint(this);
        }
        if (m_context.clock.today() != m_listDay) {
            StartDayPass();
        } else {
            LoadListBox();
            m_shownUntil = gdtRemindUntil;
        }
    });
}

// Called when the list is double-clicked.
void frmDatBel::lstEvents_DblClick()
{
    mnuEditEdit_Click();
}

// Called when Help, Help is chosen, or F1 pressed.
void frmDatBel::mnuHelpHelp_Click()
{
    m_context.help.ShowContents(this, HelpFilePath(m_context.programDirectory));
}

// Called when Help, About is chosen.
void frmDatBel::mnuHelpAbout_Click()
{
    if (m_context.openAbout)
        m_context.openAbout(this);
}
