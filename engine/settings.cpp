#include "engine/settings.h"

#include "engine/conversions.h"
#include "engine/errors.h"
#include "engine/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

#include <optional>
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

void IniSettingsStore::check() const
{
    if (std::exchange(m_checked, true))
        return;
    const QString path = m_settings->fileName();
    QFile file(path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_unusable = file.errorString();
    } else {
        // QSettings reads a section only when a key of it is asked for, and takes any bytes
        // for text: every key is read, and the bytes must be UTF-8 text.
        const QByteArray bytes = file.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        m_settings->allKeys();
        if (utf8.hasError() || bytes.contains('\0'))
            m_unusable = QStringLiteral("it is not a text file");
        else if (m_settings->status() != QSettings::NoError)
            m_unusable = QStringLiteral("it is not in INI form: \"key=value\" lines under "
                                        "\"[Section]\" headings");
    }
    if (!m_unusable.isEmpty())
        Warn(QStringLiteral("the settings file '%1' cannot be read (%2). Datebell uses the "
                            "default settings; at its next save it moves the file to '%3' and "
                            "writes a new one.")
                     .arg(path, m_unusable, path + QStringLiteral(".unreadable")));
}

QString IniSettingsStore::GetSetting(const QString &, const QString &section, const QString &key,
                                     const QString &defaultText) const
{
    check();
    if (!m_unusable.isEmpty())
        return defaultText;
    const QVariant value = m_settings->value(section + u'/' + key);
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
    check();
    // A file that could not be used is kept aside, never merged into the new one.
    if (!m_unusable.isEmpty()) {
        const QString aside = path + QStringLiteral(".unreadable");
        QFile::remove(aside);
        if (!QFile::rename(path, aside))
            throw DatebellError(ErrorNumber::SettingsNotSaved,
                                QStringLiteral("The setting %1 could not be saved: the unreadable "
                                               "settings file '%2' could not be moved to '%3'.\n"
                                               "Move or delete it yourself.")
                                        .arg(key, path, aside));
        m_unusable.clear();
    }
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
                            QStringLiteral("The setting %1 could not be saved to '%2': the file "
                                           "or its folder cannot be written.\nCheck that you "
                                           "can write to '%3'.")
                                    .arg(key, path, QFileInfo(path).absolutePath()));
    }
}

namespace {

// The stored "DaysAhead" as a number, `offset` added before it is rounded to 16 bits; nothing
// when that overflows.
std::optional<int> daysAheadNumber(const QString &text, double offset)
{
    try {
        return ToInteger16(LeadingNumber(text) + offset);
    } catch (const DatebellError &) {
        return std::nullopt;
    }
}

QString daysAheadText(const SettingsStore &settings)
{
    return settings.GetSetting(AppTitle, SettingKeys::Section, SettingKeys::DaysAhead,
                               SettingKeys::DefaultDaysAhead);
}

} // namespace

int DaysAheadIndex(const SettingsStore &settings)
{
    // A number too large for any index selects no option, as any other index outside them.
    return daysAheadNumber(daysAheadText(settings), 0.0).value_or(-1);
}

int DaysAhead(const SettingsStore &settings)
{
    const QString text = daysAheadText(settings);
    auto number = daysAheadNumber(text, 1.0);
    if (!number) {
        Warn(QStringLiteral("the setting DaysAhead \"%1\" is out of range; using the default "
                            "\"%2\".")
                     .arg(text, SettingKeys::DefaultDaysAhead));
        number = daysAheadNumber(SettingKeys::DefaultDaysAhead, 1.0);
    }
    const int days = *number;
    if (days == 6)
        return 7;
    if (days == 7)
        return 30;
    return days;
}
