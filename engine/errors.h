#pragma once

#include <QString>

#include <stdexcept>

// The one error type of the program: a number and a text, as the failing call reported them.
// The text says in a few lines what happened, to which file, and what the user can do; a
// checker's long output goes into the details.
class DatebellError : public std::runtime_error
{
public:
    DatebellError(int number, const QString &text, const QString &details = QString())
        : std::runtime_error(text.toStdString()), m_number(number), m_text(text), m_details(details)
    {
    }

    int number() const { return m_number; }
    QString text() const { return m_text; }
    QString details() const { return m_details; }

private:
    int m_number;
    QString m_text;
    QString m_details;
};

// The one form in which an error is reported: its text, then its number.
inline QString ErrorReportText(const DatebellError &error)
{
    return QStringLiteral("%1 (Error %2)").arg(error.text()).arg(error.number());
}

// Error numbers of the program's own checks; SQLite failures carry SQLite's extended code.
namespace ErrorNumber {
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int NoDisplay = 100;
inline constexpr int ReadOnly = 8; // as SQLite numbers it
inline constexpr int UpdateWithoutEdit = 3020;
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int FileNotFound = 3024;
inline constexpr int RecordDeleted = 3167;
inline constexpr int ItemNotFound = 3265;
inline constexpr int UnrecognizedFormat = 3343;
inline constexpr int SettingsNotSaved = 3400;
// A new row that cannot be saved (no date) is dropped with this number.
inline constexpr int InvalidNewRecord = 3426;
} // namespace ErrorNumber
