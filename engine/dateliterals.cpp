#include "engine/dateliterals.h"

#include "engine/dates.h"
#include "engine/errors.h"

namespace {

constexpr int dateSyntax = 3075;

} // namespace

QString TranslateDateLiterals(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            out += c;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            out += c;
        } else if (c == u'#') {
            const qsizetype end = text.indexOf(u'#', i + 1);
            const QString literal = end < 0 ? text.mid(i + 1) : text.mid(i + 1, end - i - 1);
            const auto stored = end < 0 ? std::nullopt : StoredFormOfLiteral(literal);
            if (!stored)
                throw DatebellError(dateSyntax,
                                    QStringLiteral("Syntax error in date in query expression "
                                                   "'#%1#'.")
                                            .arg(literal));
            out += u'\'' + *stored + u'\'';
            i = end;
        } else {
            out += c;
        }
    }
    return out;
}
