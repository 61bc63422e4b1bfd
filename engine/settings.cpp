#include "engine/settings.h"

#include "engine/conversions.h"
#include "engine/errors.h"
#include "engine/platform.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <sys/stat.h>
#include <utility>

IniSettingsStore::IniSettingsStore(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Datebell/Datebell.conf");
}

QString IniSettingsStore::GetSetting(const QString &, const QString &section, const QString &key,
                                     const QString &defaultText) const
{
    const QVariant value = m_settings->value(section + u'/' + key);
    if (!m_checked) {
        m_checked = true;
        if (m_settings->status() != QSettings::NoError)
            Warn(QStringLiteral("the settings file '%1' cannot be read or is not in INI form; "
                                "using the default settings.")
                         .arg(m_settings->fileName()));
    }
    if (!value.isValid())
        return defaultText;
    // An unquoted text with a comma comes back from QSettings as a list; it is still one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

void IniSettingsStore::SaveSetting(const QString &, const QString &section, const QString &key,
                                   const QString &text)
{
    // QSettings keeps the first problem it met for good: a malformed file it once read would
    // mark every later save failed, and hide a real failure. Each save therefore gets an
    // object of its own. One that read a malformed file cannot report a failed write either;
    // the file is then judged by whether it was replaced (QSettings writes a new file and
    // renames it over the old one).
    const QString path = m_settings->fileName();
    const auto identity = [&path] {
        struct stat file = {};
        return ::stat(QFile::encodeName(path).constData(), &file) == 0
                ? std::pair(file.st_dev, file.st_ino)
                : std::pair(dev_t(0), ino_t(0));
    };
    const auto before = identity();
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    m_settings->setValue(section + u'/' + key, text);
    m_settings->sync();
    const QSettings::Status status = m_settings->status();
    if (status == QSettings::AccessError
        || (status == QSettings::FormatError && identity() == before)) {
        throw DatebellError(ErrorNumber::SettingsNotSaved,
                            QStringLiteral("The setting %1 could not be saved to '%2'.")
                                    .arg(key, m_settings->fileName()));
    }
}

int DaysAheadIndex(const SettingsStore &settings)
{
    // A number too large for any index selects no option, as any other index outside them.
    const QString text = settings.GetSetting(AppTitle, SettingKeys::Section, SettingKeys::DaysAhead,
                                             SettingKeys::DefaultDaysAhead);
    try {
        return ToInteger16(LeadingNumber(text));
    } catch (const DatebellError &) {
        return -1;
    }
}

int DaysAhead(const SettingsStore &settings)
{
    const QString text = settings.GetSetting(AppTitle, SettingKeys::Section, SettingKeys::DaysAhead,
                                             SettingKeys::DefaultDaysAhead);
    int days = 0;
    try {
        days = ToInteger16(LeadingNumber(text) + 1.0);
    } catch (const DatebellError &) {
        Warn(QStringLiteral("the setting DaysAhead \"%1\" is out of range; using the default "
                            "\"%2\".")
                     .arg(text, SettingKeys::DefaultDaysAhead));
        days = ToInteger16(LeadingNumber(SettingKeys::DefaultDaysAhead) + 1.0);
    }
    if (days == 6)
        return 7;
    if (days == 7)
        return 30;
    return days;
}
