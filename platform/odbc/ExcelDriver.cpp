#include "ExcelDriver.h"

#include "Biff8Writer.h"
#include "SqlStatement.h"

#include <QFileInfo>

#include <vector>

namespace Odbc {

namespace {

const QString kPrefix = QStringLiteral("[ODBC Excel Driver] ");

bool isTrue(const QString& value, bool byDefault)
{
    if (value.isEmpty())
        return byDefault;
    return value.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1");
}

struct Table
{
    QList<Sql::ColumnDef> columns;
    Biff8::Sheet sheet; // row 0 holds the column names when the first row has names
};

class ExcelConnection : public Connection
{
public:
    ExcelConnection(const QString& path, bool readOnly, bool firstRowHasNames)
        : m_path(path), m_readOnly(readOnly), m_firstRowHasNames(firstRowHasNames)
    {
    }

    bool execute(const QString& sql) override
    {
        if (m_closed)
            return fail(QStringLiteral("Connection not open"));
        QString error;
        const auto statement = Sql::parse(sql, &error);
        if (!statement)
            return fail(error);
        if (m_readOnly)
            return fail(QStringLiteral("Operation must use an updateable query."));
        if (const auto* create = std::get_if<Sql::CreateTable>(&*statement))
            return createTable(*create);
        return insert(std::get<Sql::InsertInto>(*statement));
    }

    bool close() override
    {
        if (m_closed)
            return true;
        m_closed = true;
        std::vector<Biff8::Sheet> sheets;
        sheets.reserve(m_tables.size());
        for (Table& t : m_tables)
            sheets.push_back(std::move(t.sheet));
        m_tables.clear();
        const QString why = Biff8::writeCompoundFile(m_path, Biff8::workbookStream(sheets));
        if (!why.isEmpty())
            return fail(QStringLiteral("Cannot write '%1': %2").arg(m_path, why));
        return true;
    }

    QString lastError() const override { return m_error; }

private:
    bool fail(const QString& text)
    {
        m_error = kPrefix + text;
        return false;
    }

    Table* find(const QString& name)
    {
        for (Table& t : m_tables) {
            if (t.sheet.name.compare(name, Qt::CaseInsensitive) == 0)
                return &t;
        }
        return nullptr;
    }

    bool createTable(const Sql::CreateTable& s)
    {
        if (!Biff8::isValidSheetName(s.table))
            return fail(QStringLiteral("'%1' is not a valid name.").arg(s.table));
        if (find(s.table))
            return fail(QStringLiteral("Table '%1' already exists.").arg(s.table));
        if (s.columns.size() > Biff8::kMaxColumns)
            return fail(QStringLiteral("Too many fields defined."));
        for (qsizetype i = 0; i < s.columns.size(); ++i) {
            for (qsizetype j = 0; j < i; ++j) {
                if (s.columns[i].name.compare(s.columns[j].name, Qt::CaseInsensitive) == 0)
                    return fail(QStringLiteral("Field '%1' is defined more than once.").arg(s.columns[i].name));
            }
        }
        Table t;
        t.columns = s.columns;
        t.sheet.name = s.table;
        t.sheet.columns = int(s.columns.size());
        if (m_firstRowHasNames) {
            for (const Sql::ColumnDef& c : s.columns)
                t.sheet.cells.push_back({Biff8::Value::Kind::Text, 0, c.name});
        }
        m_tables.append(std::move(t));
        return true;
    }

    bool insert(const Sql::InsertInto& s)
    {
        Table* t = find(s.table);
        if (!t)
            return fail(QStringLiteral("Could not find the table '%1'.").arg(s.table));
        QList<int> target;
        if (s.columns.isEmpty()) {
            for (int c = 0; c < int(t->columns.size()); ++c)
                target.append(c);
        } else {
            for (const QString& name : s.columns) {
                int found = -1;
                for (int c = 0; c < int(t->columns.size()); ++c) {
                    if (t->columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                        found = c;
                }
                if (found < 0)
                    return fail(QStringLiteral("Unknown field name: '%1'.").arg(name));
                if (target.contains(found))
                    return fail(QStringLiteral("Duplicate output destination '%1'.").arg(name));
                target.append(found);
            }
        }
        if (target.size() != s.values.size())
            return fail(QStringLiteral("Number of query values and destination fields are not the same."));
        if (t->sheet.rowCount() >= Biff8::kMaxRows)
            return fail(QStringLiteral("Cannot expand named range."));

        std::vector<Biff8::Value> row(size_t(t->columns.size()));
        for (qsizetype i = 0; i < target.size(); ++i) {
            const Sql::Value& v = s.values[i];
            const Sql::ColumnDef& column = t->columns[target[i]];
            Biff8::Value& cell = row[size_t(target[i])];
            if (v.kind == Sql::Value::Kind::Null)
                continue;
            if (column.type == Sql::ColumnType::Number) {
                bool ok = v.kind == Sql::Value::Kind::Number;
                const double number = ok ? v.number : v.text.trimmed().toDouble(&ok);
                if (!ok)
                    return fail(QStringLiteral("Data type mismatch in field '%1'.").arg(column.name));
                cell = {Biff8::Value::Kind::Number, number, {}};
            } else {
                if (v.text.size() > Biff8::kMaxCellText)
                    return fail(
                        QStringLiteral("The field is too small to accept the amount of data you attempted to add."));
                cell = {Biff8::Value::Kind::Text, 0, v.text};
            }
        }
        for (Biff8::Value& cell : row)
            t->sheet.cells.push_back(std::move(cell));
        return true;
    }

    QString m_path;
    bool m_readOnly;
    bool m_firstRowHasNames;
    bool m_closed = false;
    QList<Table> m_tables;
    QString m_error;
};

} // namespace

bool excelDriverAvailable()
{
    return true;
}

std::unique_ptr<Connection> connectExcelDriver(const QMap<QString, QString>& attributes, QString* error)
{
    const QString create = attributes.value(QStringLiteral("CREATE_DB"));
    const QString dbq = attributes.value(QStringLiteral("DBQ"));
    if (create.isEmpty()) {
        // Reading or changing existing workbooks is not needed by the program.
        *error = kPrefix + QStringLiteral("This driver only creates new workbooks (CREATE_DB is missing).");
        return nullptr;
    }
    if (!dbq.isEmpty() && QFileInfo(dbq).absoluteFilePath() != QFileInfo(create).absoluteFilePath()) {
        *error = kPrefix + QStringLiteral("DBQ and CREATE_DB name different files.");
        return nullptr;
    }
    const QFileInfo folder(QFileInfo(create).absolutePath());
    if (!folder.isDir()) {
        *error = kPrefix + QStringLiteral("'%1' is not a valid path.").arg(create);
        return nullptr;
    }
    return std::make_unique<ExcelConnection>(create, isTrue(attributes.value(QStringLiteral("READONLY")), true),
                                             isTrue(attributes.value(QStringLiteral("FIRSTROWHASNAMES")), true));
}

} // namespace Odbc
