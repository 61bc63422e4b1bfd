#pragma once

#include <QString>

// The query text with each "#...#" date literal written as a SQLite text literal in the
// stored date form. Quoted texts and names are left alone.
QString TranslateDateLiterals(const QString &text);
