#pragma once

#include <QString>

#include <memory>

class Database;

class DBEngine
{
public:
    // Opens an existing event database for shared reading and writing; never creates one.
    static std::unique_ptr<Database> OpenDatabase(const QString &name);
};
