// Fuzzes the reading of the "DaysAhead" setting: the input (UTF-8) is the stored text. Where
// the number at its start lies is LeadingNumber's, which the settings table pins down case by
// case; this checks what is made of that number, over any text. A broken property aborts, so
// that libFuzzer keeps the input that broke it.

#include "engine/conversions.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/settings.h"

#include <QString>
#include <QtGlobal>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

namespace {

[[noreturn]] void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_settings: %s: %s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

void check(bool holds, const char *what, const QString &detail)
{
    if (!holds)
        fail(what, detail);
}

// Messages are counted rather than shown: the overflow fallback is the one that warns.
int warnings = 0;

void countMessages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtWarningMsg)
        ++warnings;
}

// Settings held in memory: one "DaysAhead" text, or none.
class MemorySettings final : public SettingsStore
{
public:
    explicit MemorySettings(std::optional<QString> daysAhead)
        : m_daysAhead(std::move(daysAhead)) { }

    QString GetSetting(const QString &appName, const QString &section, const QString &key,
                       const QString &defaultText) const override
    {
        if (m_daysAhead && appName == AppTitle && section == SettingKeys::Section
            && key == SettingKeys::DaysAhead)
            return *m_daysAhead;
        return defaultText;
    }
    void SaveSetting(const QString &, const QString &, const QString &, const QString &) override
    {
        fail("a reader saved a setting", QString());
    }

private:
    std::optional<QString> m_daysAhead;
};

// Rounds as ToInteger16 does, or nothing when the result is out of range.
std::optional<int> roundedToInteger16(double value)
{
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return int(rounded);
}

void checkToInteger16(double value, const QString &text)
{
    const auto expected = roundedToInteger16(value);
    const QString detail = u'"' + text + QStringLiteral("\": ") + QString::number(value, 'g', 17);
    try {
        const int result = ToInteger16(value);
        check(expected.has_value(), "out-of-range value converted", detail);
        check(result == *expected, "converted to another integer",
              detail + QStringLiteral(" -> ") + QString::number(result));
    } catch (const DatebellError &error) {
        check(!expected.has_value(), "in-range value refused", detail);
        check(error.number() == ErrorNumber::Overflow, "refused with another error", detail);
    }
}

void checkDaysAhead(const QString &text)
{
    const MemorySettings settings(text);
    const QString detail = u'"' + text + u'"';
    const bool indexOverflows = !roundedToInteger16(LeadingNumber(text)).has_value();

    warnings = 0;
    const int index = DaysAheadIndex(settings);
    check(index >= -32768 && index <= 32767, "DaysAheadIndex out of range",
          detail + QStringLiteral(" -> ") + QString::number(index));
    check(index == (indexOverflows ? 2 : *roundedToInteger16(LeadingNumber(text))),
          "DaysAheadIndex is not the rounded number or the default",
          detail + QStringLiteral(" -> ") + QString::number(index));
    check((warnings > 0) == indexOverflows, "DaysAheadIndex warned without overflow or not on one",
          detail);

    // The horizon rounds the number plus one, so it reaches -32768 ("-32769") and falls back
    // on its own when the sum overflows ("32767").
    const auto sum = roundedToInteger16(LeadingNumber(text) + 1.0);
    const int expected = !sum ? 3 : *sum == 6 ? 7 : *sum == 7 ? 30 : *sum;
    warnings = 0;
    const int days = DaysAhead(settings);
    check(days >= -32768 && days <= 32767, "DaysAhead out of range",
          detail + QStringLiteral(" -> ") + QString::number(days));
    check(days == expected, "DaysAhead is not the horizon of the rounded number or the default",
          detail + QStringLiteral(" -> ") + QString::number(days) + QStringLiteral(", expected ")
                  + QString::number(expected));
    check((warnings > 0) == !sum, "DaysAhead warned without overflow or not on one", detail);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(countMessages);
    // Nothing stored: option 2, a horizon of three days.
    const MemorySettings empty(std::nullopt);
    check(DaysAheadIndex(empty) == 2, "default DaysAheadIndex", QString());
    check(DaysAhead(empty) == 3, "default DaysAhead", QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        checkToInteger16(LeadingNumber(text), text);
        checkDaysAhead(text);
    } catch (const std::exception &error) {
        fail("unexpected exception", text + QStringLiteral(": ") + QString::fromUtf8(error.what()));
    } catch (...) {
        fail("unexpected exception", text);
    }
    return 0;
}
