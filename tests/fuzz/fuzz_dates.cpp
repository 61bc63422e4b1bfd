// Fuzzes the date readers and writers: typed dates, the stored form, query date literals and
// the event grid's text. The first input byte picks the locale, the rest is the text (UTF-8).

#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "fuzzcheck.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

const QLocale &localeOf(std::uint8_t byte)
{
    static const QLocale all[] = { QLocale(QStringLiteral("en_US")),
                                   QLocale(QStringLiteral("de_DE")),
                                   QLocale(QStringLiteral("fr_FR")),
                                   QLocale(QStringLiteral("ja_JP")), QLocale::c() };
    return all[byte % std::size(all)];
}

// The date a time typed alone lands on; any valid date will do.
const QDate timeOnlyBase(2026, 6, 15);

QString describe(const QDateTime &value)
{
    return value.isValid() ? StoredDateText(value) : QStringLiteral("(invalid)");
}

// The stored form reads back as the value it was written from.
void checkStoredRoundTrip(const QDateTime &value, const QString &input)
{
    const QString stored = StoredDateText(value);
    const auto back = StoredDateValue(stored);
    check(back == value, "stored form not read back, or read back differently",
          input + QStringLiteral(" -> ") + stored + QStringLiteral(" -> ")
                  + describe(back.value_or(QDateTime())));
}

// What the event grid shows for a value is recognised again as the same date and time under
// the same locale: the time is left out at midnight, seconds only when they are not zero.
void checkGridRoundTrip(const QDateTime &value, const QLocale &locale)
{
    const QString shown = GridDateText(value, locale);
    const QString detail = locale.name() + QStringLiteral(": ") + StoredDateText(value)
            + QStringLiteral(" -> \"") + shown + u'"';
    const auto typed = RecognizeDate(shown, locale);
    check(typed.has_value(), "grid text not recognised", detail);
    check(typed->date.has_value(), "grid text recognised without its date", detail);
    check(typed->time.has_value() == (value.time() != QTime(0, 0)),
          "grid text recognised with a time of day at midnight or without one otherwise", detail);
    const QDateTime again = TypedDateTime(*typed, timeOnlyBase);
    check(again == value, "grid text recognised as another value",
          detail + QStringLiteral(" -> ") + describe(again));
}

void checkRecognizeDate(const QString &text, const QLocale &locale)
{
    const auto typed = RecognizeDate(text, locale);
    if (!typed)
        return;
    const QString detail = locale.name() + QStringLiteral(": \"") + text + u'"';
    check((typed->date || typed->time) && typed->date.value_or(timeOnlyBase).isValid()
                  && typed->time.value_or(QTime(0, 0)).isValid(),
          "recognised as neither date nor time, or as an invalid one", detail);

    const QDateTime value = TypedDateTime(*typed, timeOnlyBase);
    check(value.date() == typed->date.value_or(timeOnlyBase)
                  && value.time() == typed->time.value_or(QTime(0, 0)),
          "typed value invalid, or its date or time moved",
          detail + QStringLiteral(" -> ") + describe(value));
    checkStoredRoundTrip(value, detail);
    checkGridRoundTrip(value, locale);
}

void checkStoredText(const QString &text, const QLocale &locale)
{
    if (const auto value = StoredDateValue(text)) {
        check(value->isValid(), "stored form read as an invalid value", text);
        // Fixed width and ASCII digits only: the one text of a value is the one that reads.
        check(StoredDateText(*value) == text, "stored form not canonical",
              text + QStringLiteral(" -> ") + StoredDateText(*value));
        checkGridRoundTrip(*value, locale);
    }
    if (const auto stored = StoredFormOfLiteral(text)) {
        const auto value = StoredDateValue(*stored);
        check(value.has_value(), "literal gives an unreadable stored form",
              text + QStringLiteral(" -> ") + *stored);
        check(StoredDateText(*value) == *stored, "literal gives a non-canonical stored form",
              text + QStringLiteral(" -> ") + *stored);
    }
}

// Outside quotes, nothing of the text is '#': every date literal was rewritten.
bool hashOutsideQuotes(const QString &sql)
{
    QChar quote; // the quote of the text the character is in, if any
    for (const QChar c : sql) {
        if (c == quote)
            quote = QChar();
        else if (quote.isNull() && (c == u'\'' || c == u'"'))
            quote = c;
        else if (quote.isNull() && c == u'#')
            return true;
    }
    return false;
}

void checkDateLiterals(const QString &text)
{
    QString translated;
    try {
        translated = TranslateDateLiterals(text);
    } catch (const DatebellError &) {
        return; // a malformed literal is refused, as it should be
    }
    check(!hashOutsideQuotes(translated), "date literal left in the query",
          text + QStringLiteral(" -> ") + translated);
    if (!hashOutsideQuotes(text))
        check(translated == text, "query without literals changed",
              text + QStringLiteral(" -> ") + translated);
}

// A date and time spelt by the raw bytes, so that the grid round trip sees every year, month,
// day and time of day, not only those the text happens to spell.
void checkGridOfBytes(const std::uint8_t *data, std::size_t size, const QLocale &locale)
{
    if (size < 8)
        return;
    const int year = 1 + (data[1] << 8 | data[2]) % 9999;
    const int month = 1 + data[3] % 12;
    const int day = 1 + data[4] % QDate(year, month, 1).daysInMonth();
    // Half of the values at midnight or on the whole minute, where the grid leaves parts out.
    const std::uint8_t shape = data[5];
    const int hour = shape & 1 ? data[6] % 24 : 0;
    const int minute = shape & 1 ? data[7] % 60 : 0;
    const int second = shape & 2 ? (data[6] ^ data[7]) % 60 : 0;
    const QDateTime value = EventDateTime(QDate(year, month, day), QTime(hour, minute, second));
    checkStoredRoundTrip(value, QStringLiteral("(bytes)"));
    checkGridRoundTrip(value, locale);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The readers warn through qWarning; thousands of runs a second would drown the log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QLocale &locale = localeOf(data[0]);
    const QString text =
            QString::fromUtf8(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    checkRecognizeDate(text, locale);
    checkStoredText(text, locale);
    checkDateLiterals(text);
    checkGridOfBytes(data, size, locale);
    return 0;
}
