#include "textdecoder.h"

#include "readers.h"

#include <QStringConverter>

#include <iconv.h>

namespace EventReading {

TextDecoder::TextDecoder(const QString &name)
    : m_name(name), m_iconv(iconv_open("UTF-8", name.toLatin1().constData()))
{
}

TextDecoder::~TextDecoder()
{
    if (isValid())
        iconv_close(static_cast<iconv_t>(m_iconv));
}

bool TextDecoder::isValid() const
{
    return m_iconv != reinterpret_cast<void *>(-1);
}

std::optional<QString> TextDecoder::decode(const QByteArray &bytes)
{
    if (!isValid())
        return std::nullopt;
    const auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // No character of any encoding takes more than four bytes of UTF-8, nor fewer than one
    // byte of its own.
    QByteArray out(bytes.size() * 4 + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *to = out.data();
    size_t toLeft = size_t(out.size());
    if (iconv(cd, &in, &inLeft, &to, &toLeft) == size_t(-1)
        || iconv(cd, nullptr, nullptr, &to, &toLeft) == size_t(-1))
        return std::nullopt;
    out.truncate(to - out.constData());
    return utf8(out);
}

bool knownEncoding(const QString &name)
{
    return QStringConverter::encodingForName(name.toLatin1().constData())
            || TextDecoder(name).isValid();
}

} // namespace EventReading
