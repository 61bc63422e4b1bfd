#pragma once

#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "windows/help.h"
#include "windows/messages.h"

#include <QStringList>

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
