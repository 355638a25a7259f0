#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// The SQL the Excel driver understands: CREATE TABLE and INSERT INTO with
// literal values. Names may be plain, [bracketed] or `back-quoted`; strings
// are single-quoted with '' for a quote inside.
namespace Sql {

enum class ColumnType
{
    Text,
    Number
};

struct ColumnDef
{
    QString name;
    ColumnType type = ColumnType::Text;
};

struct Value
{
    enum class Kind
    {
        Null,
        Text,
        Number
    } kind = Kind::Null;
    QString text;      // Text: the string; Number: the literal as written
    double number = 0; // Number
};

struct CreateTable
{
    QString table;
    QList<ColumnDef> columns;
};

struct InsertInto
{
    QString table;
    QStringList columns; // empty: every column of the table, in order
    QList<Value> values;
};

using Statement = std::variant<CreateTable, InsertInto>;

// Parses one statement (a trailing ";" is allowed); nothing, with *error set
// to a driver-style message, when the text is not a statement understood here.
std::optional<Statement> parse(const QString& sql, QString* error);

} // namespace Sql
