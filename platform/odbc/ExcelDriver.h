#pragma once

#include "Odbc.h"

// The Excel driver of this build: it creates a new Excel 97-2003 workbook,
// one worksheet per CREATE TABLE, and writes it when the connection closes.
namespace Odbc {

bool excelDriverAvailable();
std::unique_ptr<Connection> connectExcelDriver(const QMap<QString, QString>& attributes, QString* error);

} // namespace Odbc
