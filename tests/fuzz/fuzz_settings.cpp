// Fuzzes the reading of the "DaysAhead" setting: the input (UTF-8) is the stored text. Where
// the number at its start lies is LeadingNumber's, which the settings table pins down case by
// case; this checks what is made of that number (ToInteger16's rounding and range included),
// over any text.

#include "engine/conversions.h"
#include "engine/settings.h"
#include "fuzzcheck.h"

#include <QtGlobal>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

// Messages are counted rather than shown: the overflow fallbacks are the ones that warn.
int warnings = 0;

void countMessages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    warnings += type == QtWarningMsg;
}

// Settings whose every key reads as one text: the readers ask for "DaysAhead" only (the
// settings table checks the key) and save nothing.
class OneSetting final : public SettingsStore
{
public:
    explicit OneSetting(const QString &text) : m_text(text) { }
    QString GetSetting(const QString &, const QString &, const QString &,
                       const QString &) const override
    {
        return m_text;
    }
    void SaveSetting(const QString &, const QString &, const QString &, const QString &) override
    {
        fail("a reader saved a setting", m_text);
    }

private:
    QString m_text;
};

// Rounds as ToInteger16 does, or nothing when the result is out of range.
std::optional<int> roundedToInteger16(double value)
{
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return int(rounded);
}

void checkDaysAhead(const QString &text)
{
    const OneSetting settings(text);
    const QString detail = u'"' + text + QStringLiteral("\" -> ");
    // The index is the rounded number, or -1 (no option) when it overflows.
    const auto index = roundedToInteger16(LeadingNumber(text));
    warnings = 0;
    const int gotIndex = DaysAheadIndex(settings);
    check(gotIndex == index.value_or(-1) && warnings == 0,
          "DaysAheadIndex is not the rounded number, or not -1 when it overflows",
          detail + QString::number(gotIndex));

    // The horizon rounds the number plus one, so it reaches -32768 ("-32769") and falls back
    // on its own when the sum overflows ("32767").
    const auto sum = roundedToInteger16(LeadingNumber(text) + 1.0);
    const int days = !sum ? 3 : *sum == 6 ? 7 : *sum == 7 ? 30 : *sum;
    warnings = 0;
    const int gotDays = DaysAhead(settings);
    check(gotDays == days && (warnings > 0) == !sum,
          "DaysAhead is not the horizon of the rounded number, or not the default with a warning",
          detail + QString::number(gotDays) + QStringLiteral(", expected ")
                  + QString::number(days));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(countMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkDaysAhead(text);
    return 0;
}
