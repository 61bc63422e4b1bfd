#include "linereader.h"

#include "readers.h"
#include "textdecoder.h"

#include <QFileDevice>

#include <algorithm>
#include <cstring>

namespace EventReading {

LineReader::LineReader(QIODevice &input, const QString &encoding) : m_input(input)
{
    if (!encoding.isEmpty()) {
        const auto known = QStringConverter::encodingForName(encoding.toLatin1().constData());
        if (known && *known != QStringConverter::Utf8 && *known != QStringConverter::Latin1
            && *known != QStringConverter::System) {
            m_decoder = QStringDecoder(*known);
            m_utf16 = m_wideNamed = true;
        } else if (!known || *known != QStringConverter::Utf8) {
            m_named = std::make_shared<TextDecoder>(encoding);
        }
        m_start = m_input.pos();
        return;
    }
    const QByteArray head = m_input.peek(4);
    const auto utf16 = [&](QStringDecoder::Encoding encoding, int bom) {
        m_decoder = QStringDecoder(encoding);
        m_input.skip(bom);
        m_utf16 = true;
    };
    if (head.startsWith("\xEF\xBB\xBF"))
        m_input.skip(3);
    else if (head.startsWith("\xFF\xFE"))
        utf16(QStringDecoder::Utf16LE, 2);
    else if (head.startsWith("\xFE\xFF"))
        utf16(QStringDecoder::Utf16BE, 2);
    else if (head.size() >= 2 && head.at(0) != 0 && head.at(1) == 0)
        utf16(QStringDecoder::Utf16LE, 0);
    else if (head.size() >= 2 && head.at(0) == 0 && head.at(1) != 0)
        utf16(QStringDecoder::Utf16BE, 0);
    m_start = m_input.pos();
}

bool LineReader::rewind()
{
    if (m_input.isSequential() || !m_input.seek(m_start))
        return false;
    if (m_utf16)
        m_decoder.resetState();
    m_buffer.clear();
    m_pos = 0;
    m_atEnd = false;
    m_number = 0;
    return true;
}

bool LineReader::next(QByteArray &line)
{
    m_tooLong = false;
    for (;;) {
        const char *start = m_buffer.constData() + m_pos;
        const auto *end = static_cast<const char *>(
                std::memchr(start, '\n', size_t(m_buffer.size() - m_pos)));
        if (end || m_atEnd || m_buffer.size() - m_pos > maxLineBytes) {
            const qsizetype length = end ? end - start : m_buffer.size() - m_pos;
            if (!end && length == 0)
                return false;
            const bool cut = !end && !m_atEnd;
            line = QByteArray(start, std::min(length, maxLineBytes));
            m_crlf = line.endsWith('\r');
            if (m_crlf)
                line.chop(1);
            m_pos += length + (end ? 1 : 0);
            ++m_number;
            if (cut) {
                m_tooLong = true;
                skipRestOfLine();
            }
            return true;
        }
        fill();
    }
}

std::optional<QString> LineReader::text(const QByteArray &line) const
{
    return m_named ? m_named->decode(line) : utf8(line);
}

bool LineReader::readError() const
{
    const auto *file = qobject_cast<const QFileDevice *>(&m_input);
    return file && file->error() != QFileDevice::NoError;
}

void LineReader::fill()
{
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const QByteArray chunk = m_input.read(1 << 16);
    if (chunk.isEmpty()) {
        m_atEnd = true;
        return;
    }
    m_buffer += m_utf16 ? QString(m_decoder.decode(chunk)).toUtf8() : chunk;
}

void LineReader::skipRestOfLine()
{
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', m_pos);
        if (end >= 0) {
            m_pos = end + 1;
            return;
        }
        m_pos = m_buffer.size();
        fill();
        if (m_atEnd)
            return;
    }
}

} // namespace EventReading
