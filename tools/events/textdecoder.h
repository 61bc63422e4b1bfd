#pragma once

#include <QString>

#include <optional>

namespace EventReading {

// Text in an encoding that iconv knows, converted a line at a time.
class TextDecoder
{
public:
    explicit TextDecoder(const QString &name);
    ~TextDecoder();
    TextDecoder(const TextDecoder &) = delete;
    TextDecoder &operator=(const TextDecoder &) = delete;
    bool isValid() const;
    const QString &name() const { return m_name; }
    // The text of the bytes; nothing when they are not text of this encoding.
    std::optional<QString> decode(const QByteArray &bytes);

private:
    QString m_name;
    void *m_iconv;
};

// Whether `name` is an encoding that files can be read in.
bool knownEncoding(const QString &name);

} // namespace EventReading
