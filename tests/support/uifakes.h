#pragma once

#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "windows/help.h"
#include "windows/messages.h"

#include <QAccessible>
#include <QStringList>
#include <QWidget>

#include <functional>

// Answers message boxes without showing them and records what was asked.
class FakeMessages final : public MessageService
{
public:
    int MsgBox(const QString &prompt, int, const QString &title, QWidget * = nullptr) override
    {
        prompts << prompt;
        if (ScreenPointer::code() != ScreenPointer::Default)
            ++boxesUnderHourglass;
        return answering ? answering(title) : answer;
    }
    void Beep() override { ++beeps; }
    void ReportFatal(const DatebellError &error) override { fatal << ErrorReportText(error); }

    int answer = MsgBoxResult::Ok;
    std::function<int(const QString &title)> answering; // when set, answers instead of `answer`
    int boxesUnderHourglass = 0; // boxes shown while the hourglass was up
    QStringList prompts;
    QStringList fatal;
    int beeps = 0;
};

// Records what the guide was asked to show, and for which window.
class FakeHelp final : public HelpService
{
public:
    void ShowContents(QWidget *owner, const QString &path) override
    {
        requests.append({ owner, path });
    }
    QList<std::pair<QWidget *, QString>> requests;
};

// What a screen reader would read out badly in `window`: a control, menu item or heading with
// no name, or a list line or cell whose name holds a raw tab.
inline QStringList PoorlyNamedAccessibles(QWidget *window)
{
    QStringList found;
    const std::function<void(QAccessibleInterface *)> visit = [&](QAccessibleInterface *item) {
        if (!item)
            return;
        const QString name = item->text(QAccessible::Name);
        const QAccessible::Role role = item->role();
        const bool lineOrCell = role == QAccessible::ListItem || role == QAccessible::Cell;
        const bool mustBeNamed = role == QAccessible::Button || role == QAccessible::RadioButton
                || role == QAccessible::List || role == QAccessible::Table
                || role == QAccessible::MenuItem || role == QAccessible::ColumnHeader
                || role == QAccessible::Graphic || role == QAccessible::StatusBar;
        if ((mustBeNamed && name.trimmed().isEmpty()) || (lineOrCell && name.contains(u'\t')))
            found << QStringLiteral("role %1 \"%2\"").arg(int(role)).arg(name);
        for (int child = 0; child < item->childCount(); ++child)
            visit(item->child(child));
    };
    visit(QAccessible::queryAccessibleInterface(window));
    return found;
}
