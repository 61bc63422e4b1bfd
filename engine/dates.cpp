#include "engine/dates.h"

namespace {
const QString isoDate = QStringLiteral("yyyy-MM-dd");
const QString storedForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

QString DateText(QDate date)
{
    return date.toString(isoDate);
}

std::optional<QDate> DateFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QDate date = QDate::fromString(trimmed, isoDate);
    if (trimmed.size() != isoDate.size() || !date.isValid())
        return std::nullopt;
    return date;
}

QDateTime EventDateTime(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QString StoredDateText(const QDateTime &value)
{
    return value.toString(storedForm);
}

std::optional<QDateTime> StoredDateValue(const QString &text)
{
    // fromString accepts single-digit fields too; the stored form is fixed-width.
    if (text.size() != storedForm.size())
        return std::nullopt;
    QDateTime value = QDateTime::fromString(text, storedForm);
    if (!value.isValid())
        return std::nullopt;
    value.setTimeSpec(Qt::UTC);
    return value;
}

QDateTime AddYears(const QDateTime &value, int years)
{
    return EventDateTime(value.date().addYears(years), value.time());
}

std::optional<QString> StoredFormOfLiteral(const QString &literal)
{
    const QString text = literal.trimmed();
    if (text.size() == isoDate.size()) {
        if (const auto date = DateFromText(text))
            return StoredDateText(EventDateTime(*date));
        return std::nullopt;
    }
    QString withSpace = text;
    if (withSpace.size() > 10 && withSpace.at(10) == u'T')
        withSpace[10] = u' ';
    if (const auto value = StoredDateValue(withSpace))
        return StoredDateText(*value);
    return std::nullopt;
}
