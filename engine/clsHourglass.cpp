#include "engine/clsHourglass.h"

#include "engine/conversions.h"
#include "engine/errors.h"

namespace {
qint16 currentCode = ScreenPointer::Default;
std::function<void(qint16)> &hook()
{
    static std::function<void(qint16)> instance;
    return instance;
}

// Numbers and numeric text convert, rounding a fraction to even; anything else is a type
// mismatch, and a number outside 16 bits an overflow.
qint16 toPointerCode(const QVariant &value)
{
    bool ok = false;
    double number = 0;
    if (value.typeId() == QMetaType::QString)
        number = value.toString().trimmed().toDouble(&ok);
    else if (value.canConvert<double>() && !value.isNull())
        number = value.toDouble(&ok);
    if (!ok)
        throw DatebellError(ErrorNumber::TypeMismatch, QStringLiteral("Type mismatch"));
    return ToInteger16(number);
}
} // namespace

qint16 ScreenPointer::code()
{
    return currentCode;
}

void ScreenPointer::setCode(qint16 code)
{
    currentCode = code;
    if (hook())
        hook()(code);
}

void ScreenPointer::setHook(std::function<void(qint16)> newHook)
{
    hook() = std::move(newHook);
}

clsHourglass::~clsHourglass()
{
    ScreenPointer::setCode(qint16(SavedPointer));
}

void clsHourglass::DisplayCursor(const std::optional<QVariant> &SubstitutePointer)
{
    SavedPointer = ScreenPointer::code();
    ScreenPointer::setCode(SubstitutePointer ? toPointerCode(*SubstitutePointer)
                                             : ScreenPointer::Hourglass);
}
