#include "ExcelDriver.h"

namespace Odbc {

bool excelDriverAvailable()
{
    return false;
}

std::unique_ptr<Connection> connectExcelDriver(const QMap<QString, QString>&, QString*)
{
    return nullptr;
}

} // namespace Odbc
