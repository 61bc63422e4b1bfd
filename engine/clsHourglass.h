#pragma once

#include <QVariant>

#include <functional>
#include <optional>

// The application-wide mouse pointer: one 16-bit code for all of the program's windows.
namespace ScreenPointer {
inline constexpr qint16 Default = 0; // no override: each window shows its own pointer
inline constexpr qint16 Hourglass = 11;

qint16 code();
void setCode(qint16 code);
// Called with each new code; the GUI installs one that shows Qt's override cursor.
void setHook(std::function<void(qint16)> hook);
} // namespace ScreenPointer

// Shows the hourglass for as long as an operation holds it. Create it at the start of the
// operation and call DisplayCursor at once; leaving the operation by any path restores the
// pointer that was showing when DisplayCursor ran (code 0 when it never ran).
class clsHourglass
{
public:
    clsHourglass() = default;
    ~clsHourglass();
    clsHourglass(const clsHourglass &) = delete;
    clsHourglass &operator=(const clsHourglass &) = delete;

    // Saves the current code, then shows the hourglass or, when given, the substitute code.
    // A substitute that is not a number in 16-bit range raises the conversion error after the
    // code has been saved, and leaves the pointer as it is.
    void DisplayCursor(const std::optional<QVariant> &SubstitutePointer = std::nullopt);

private:
    qint32 SavedPointer = 0;
};
