#pragma once

#include <QMap>
#include <QString>

#include <memory>

// Database access the way the exports use it: a connection opened from a
// connection string without any dialog, and SQL statements executed one at a
// time. Failures come back as the driver's diagnostic text. The build decides
// which drivers exist (see platform/odbc/CMakeLists.txt).
namespace Odbc {

inline constexpr char kExcelDriver[] = "MICROSOFT EXCEL DRIVER (*.XLS)";

class Connection
{
public:
    virtual ~Connection() = default;

    // Runs one statement; false with lastError() set when it fails.
    virtual bool execute(const QString& sql) = 0;
    // Ends the connection. What the driver holds back is written now, so a
    // false here means the data did not reach the file. A connection
    // destroyed without close() writes nothing.
    virtual bool close() = 0;
    virtual QString lastError() const = 0;
};

// Like a driver connect that never prompts: DRIVER={name} picks the driver,
// the other attributes go to it. Returns nothing, with *error set, when the
// driver is unknown or refuses the attributes.
std::unique_ptr<Connection> driverConnect(const QString& connectionString, QString* error);

// "KEY=value;KEY={va;lue};KEY=\"v\";KEY='v'" as upper-case keys and values
// without their braces or quotes. Returns false on an unterminated brace or
// quote or an attribute without "=".
bool parseConnectionString(const QString& text, QMap<QString, QString>* attributes);

} // namespace Odbc
