#include "windows/messages.h"

#include "engine/errors.h"
#include "engine/platform.h"

#include <QApplication>
#include <QMessageBox>

int QtMessageService::MsgBox(const QString &prompt, int style, const QString &title, QWidget *owner)
{
    QMessageBox box(owner);
    box.setWindowTitle(title);
    // Descriptions and file names are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    switch (style & 0xF0) {
    case MsgBoxStyle::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgBoxStyle::Information:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    if ((style & 0x0F) == 4) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & 0xF00) == MsgBoxStyle::DefaultSecond ? QMessageBox::No
                                                                           : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MsgBoxResult::Yes : MsgBoxResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgBoxResult::Ok;
}

void QtMessageService::Beep()
{
    QApplication::beep();
}

void QtMessageService::ShowError(const DatebellError &error, QWidget *owner)
{
    QMessageBox box(QMessageBox::Critical, AppTitle, ErrorReportText(error), QMessageBox::Ok,
                    owner);
    box.setDetailedText(error.details());
    box.exec();
}

void QtMessageService::ReportFatal(const DatebellError &error)
{
    WriteErrorReport(error);
    ShowError(error);
    End(1);
}

void RunHandler(MessageService &messages, const std::function<void()> &body)
{
    try {
        body();
    } catch (const DatebellError &error) {
        messages.ReportFatal(error);
    } catch (const std::exception &error) {
        messages.ReportFatal(DatebellError(0, QString::fromLocal8Bit(error.what())));
    }
}
