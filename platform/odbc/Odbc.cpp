#include "Odbc.h"

#include "ExcelDriver.h"

namespace Odbc {

bool parseConnectionString(const QString& text, QMap<QString, QString>* attributes)
{
    attributes->clear();
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i) == u';' || text.at(i).isSpace()) {
            ++i;
            continue;
        }
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0)
            return false;
        const QString key = text.mid(i, eq - i).trimmed().toUpper();
        i = eq + 1;
        QString value;
        const QChar open = i < text.size() ? text.at(i) : QChar();
        if (open == u'{' || open == u'"' || open == u'\'') {
            const QChar close = open == u'{' ? QChar(u'}') : open;
            const qsizetype end = text.indexOf(close, i + 1);
            if (end < 0)
                return false;
            value = text.mid(i + 1, end - i - 1);
            i = end + 1;
            while (i < text.size() && text.at(i) != u';')
                ++i;
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, end < 0 ? -1 : end - i).trimmed();
            i = end < 0 ? text.size() : end;
        }
        if (key.isEmpty())
            return false;
        attributes->insert(key, value);
    }
    return true;
}

std::unique_ptr<Connection> driverConnect(const QString& connectionString, QString* error)
{
    QMap<QString, QString> attributes;
    if (!parseConnectionString(connectionString, &attributes)) {
        *error = QStringLiteral("[Driver Manager] Invalid connection string attribute");
        return nullptr;
    }
    const QString driver = attributes.value(QStringLiteral("DRIVER"));
    if (driver.compare(QLatin1String(kExcelDriver), Qt::CaseInsensitive) == 0 && excelDriverAvailable())
        return connectExcelDriver(attributes, error);
    *error = QStringLiteral("[Driver Manager] Data source name not found and no default driver specified");
    return nullptr;
}

} // namespace Odbc
