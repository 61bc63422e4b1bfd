#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

// Dates as the program writes them into query texts and settings: ISO 8601 ("2026-12-06"),
// which reads back as the same date under every locale.
QString DateText(QDate date);
// Reads a date written by DateText; nothing for any other text.
std::optional<QDate> DateFromText(const QString &text);

// A date as the user reads it: the locale's short date form, with a four-digit year (Qt's
// short forms use two digits, which read back as 19xx).
QString ShortDateText(QDate date, const QLocale &locale = QLocale());
// A reminder list date: "ddd mmm d, yyyy", with the locale's day and month names.
QString ListDateText(QDate date, const QLocale &locale = QLocale());

// A date and time in the event grid: the short date with a four-digit year, and the time of
// day when it is not midnight.
QString GridDateText(const QDateTime &value, const QLocale &locale = QLocale());

// What a typed date says: a date, a time of day, or both.
struct TypedDate
{
    std::optional<QDate> date;
    std::optional<QTime> time;
};
// Recognises a typed date in the user's short date form (day, month and year in the locale's
// order, the month also by name), in ISO form, or a time of day alone, each with an optional
// time of day. A two-digit year is read with a fixed window: 00-29 as 20xx, 30-99 as 19xx. A day
// and month without a year ("3/14", "24.12.") are that day of `currentYear`.
std::optional<TypedDate> RecognizeDate(const QString &text, const QLocale &locale = QLocale(),
                                       int currentYear = QDate::currentDate().year());
// The event date a typed value gives: a time alone keeps the date of `base`.
QDateTime TypedDateTime(const TypedDate &typed, QDate base);

// Event dates are local calendar dates with an optional time of day, no time zone. They are
// held as UTC QDateTimes so that no daylight-saving gap can shift them, and stored as
// fixed-width text ("2026-12-06 10:30:00"), so that text order is date order.
QDateTime EventDateTime(QDate date, QTime time = QTime(0, 0));
QString StoredDateText(const QDateTime &value);
// Reads the stored form only (exactly "yyyy-MM-dd HH:mm:ss", a real date and time).
std::optional<QDateTime> StoredDateValue(const QString &text);

// An annual event's next occurrence on or after `from`, with its time of day: the same month and
// day in the first year that has it, so 29 February falls on the next 29 February.
QDateTime NextAnnualDate(const QDateTime &value, QDate from);

// A date literal of a query text ("2026-12-06", "2026-12-06 10:30:00" or with a "T") in the
// stored form; nothing when the literal is not such a date.
std::optional<QString> StoredFormOfLiteral(const QString &literal);
