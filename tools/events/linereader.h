#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringDecoder>

#include <memory>
#include <optional>

namespace EventReading {

class TextDecoder;

// The longest line read; the rest of a longer one is passed over and the line reported.
inline constexpr qsizetype maxLineBytes = 1 << 20;

// Lines of a file, read a block at a time. A UTF-8 byte order mark is dropped; a file that
// starts with a UTF-16 one (or shows UTF-16 by the zero bytes of its first character) is read
// as UTF-16 and handed on as UTF-8. A file in an encoding named by `encoding` is read in it:
// UTF-16 and UTF-32 as a whole, others a line at a time through `text`.
class LineReader
{
public:
    explicit LineReader(QIODevice &input, const QString &encoding = QString());

    // Goes back to the first line, for a second reading; false when the input cannot seek.
    bool rewind();
    // The next line without its line end; false at the end of the input.
    bool next(QByteArray &line);

    // The text of a line in the encoding named; UTF-8 when none was. Nothing when the line is
    // not text of that encoding.
    std::optional<QString> text(const QByteArray &line) const;
    // The encoding named, or nothing.
    std::shared_ptr<TextDecoder> named() const { return m_named; }

    int number() const { return m_number; }
    bool crlf() const { return m_crlf; } // the last line ended with CRLF
    bool tooLong() const { return m_tooLong; }
    bool utf16() const { return m_utf16 && !m_wideNamed; } // found, not named
    bool readError() const;

private:
    void fill();
    void skipRestOfLine();

    QIODevice &m_input;
    qint64 m_start = 0; // where the first line starts
    std::shared_ptr<TextDecoder> m_named;
    QStringDecoder m_decoder;
    bool m_utf16 = false; // decoded as a whole, from UTF-16 or UTF-32
    bool m_wideNamed = false;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    int m_number = 0;
    bool m_crlf = false;
    bool m_tooLong = false;
};

} // namespace EventReading
