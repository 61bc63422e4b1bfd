#pragma once

#include <QString>

#include <functional>

class DatebellError;
class QWidget;

// Message box styles and answers, as the Windows message box numbers them.
namespace MsgBoxStyle {
inline constexpr int OkOnly = 0;
inline constexpr int Critical = 16;
inline constexpr int Question = 36; // question icon, Yes and No
inline constexpr int Information = 64;
inline constexpr int DefaultSecond = 256; // the second button (No) is the default
} // namespace MsgBoxStyle
namespace MsgBoxResult {
inline constexpr int Ok = 1;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgBoxResult

// Message boxes, the beep and the report of an error that ends the program all go through
// here, so that tests can answer and record them instead of blocking on a modal box.
class MessageService
{
public:
    virtual ~MessageService() = default;
    virtual int MsgBox(const QString &prompt, int style, const QString &title,
                       QWidget *owner = nullptr) = 0;
    virtual void Beep() = 0;
    // Reports the error on standard error and in a box, then ends the program.
    virtual void ReportFatal(const DatebellError &error) = 0;
};

class QtMessageService final : public MessageService
{
public:
    int MsgBox(const QString &prompt, int style, const QString &title,
               QWidget *owner = nullptr) override;
    void Beep() override;
    [[noreturn]] void ReportFatal(const DatebellError &error) override;
    // A box with the error's report; its details (a checker's output, however long) sit under
    // the box's details, never in its text.
    void ShowError(const DatebellError &error, QWidget *owner = nullptr);
};

// Runs an event handler's body. An error must not cross Qt's event loop: it is reported, and
// it ends the program as it would have ended it outside a handler.
void RunHandler(MessageService &messages, const std::function<void()> &body);
