#pragma once

#include <QString>

#include <memory>

class QSettings;

// Per-user settings: texts addressed by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `defaultText` when nothing is stored under the key.
    virtual QString GetSetting(const QString &appName, const QString &section, const QString &key,
                               const QString &defaultText) const = 0;
    // Stores the text; raises DatebellError when it did not reach the disk.
    virtual void SaveSetting(const QString &appName, const QString &section, const QString &key,
                             const QString &text) = 0;
};

// The settings of one application in an INI file, a group per section. Values are plain text
// as the file holds them, never serialized QVariants.
class IniSettingsStore final : public SettingsStore
{
public:
    explicit IniSettingsStore(const QString &filePath);
    ~IniSettingsStore() override;

    QString GetSetting(const QString &appName, const QString &section, const QString &key,
                       const QString &defaultText) const override;
    void SaveSetting(const QString &appName, const QString &section, const QString &key,
                     const QString &text) override;

    // $XDG_CONFIG_HOME/Datebell/Datebell.conf, or ~/.config/... when the variable is unset.
    static QString defaultPath();

private:
    // Reads the file once: one that cannot be read, is not text or not in INI form is named in
    // one warning, and none of its values is used.
    void check() const;

    std::unique_ptr<QSettings> m_settings;
    mutable bool m_checked = false;
    mutable QString m_unusable; // why the file cannot be used; empty when it can
};

namespace SettingKeys {
inline const QString Section = QStringLiteral("Settings");
inline const QString DaysAhead = QStringLiteral("DaysAhead");
inline const QString LastRemindDate = QStringLiteral("LastRemindDate");
// The event database whose pass LastRemindDate records.
inline const QString LastRemindDatabase = QStringLiteral("LastRemindDatabase");
inline const QString DefaultDaysAhead = QStringLiteral("2");
} // namespace SettingKeys

// The horizon option index stored under "DaysAhead" (0 to 6 when the program wrote it), taken
// to the nearest whole number; -1, which selects no option, for a number too large.
int DaysAheadIndex(const SettingsStore &settings);
// The horizon in days: index + 1, with 6 read as 7 and 7 as 30, so options 0..6 give
// 1, 2, 3, 4, 5, 7 and 30 days. A text that overflows is reported on standard error and read
// as the default "2".
int DaysAhead(const SettingsStore &settings);
