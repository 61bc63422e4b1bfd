#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// Dates as the program writes them into query texts and settings: ISO 8601 ("2026-12-06"),
// which reads back as the same date under every locale.
QString DateText(QDate date);
// Reads a date written by DateText; nothing for any other text.
std::optional<QDate> DateFromText(const QString &text);

// Event dates are local calendar dates with an optional time of day, no time zone. They are
// held as UTC QDateTimes so that no daylight-saving gap can shift them, and stored as
// fixed-width text ("2026-12-06 10:30:00"), so that text order is date order.
QDateTime EventDateTime(QDate date, QTime time = QTime(0, 0));
QString StoredDateText(const QDateTime &value);
// Reads the stored form only (exactly "yyyy-MM-dd HH:mm:ss", a real date and time).
std::optional<QDateTime> StoredDateValue(const QString &text);

// Adds calendar years, keeping month, day and time of day; 29 February in a year without one
// becomes 28 February.
QDateTime AddYears(const QDateTime &value, int years);

// A date literal of a query text ("2026-12-06", "2026-12-06 10:30:00" or with a "T") in the
// stored form; nothing when the literal is not such a date.
std::optional<QString> StoredFormOfLiteral(const QString &literal);
