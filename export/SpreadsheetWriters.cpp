#include "SpreadsheetWriters.h"

#include "platform/automation/Automation.h"
#include "platform/odbc/Odbc.h"

using namespace Automation;

namespace {

bool isDigitsOnly(const QString& text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

QString columnLetter(int columns)
{
    return QString(QChar(u'A' + columns - 1));
}

} // namespace

QString sheetName(int index)
{
    return index == 1 ? QStringLiteral("`Sheet%1`").arg(index) : QStringLiteral("Sheet%1").arg(index);
}

QString sqlQuoted(const QString& value)
{
    QString out = value;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

QString createTableStatement(const QString& sheet, bool withDates)
{
    return QStringLiteral("CREATE TABLE ") + sheet +
           (withDates ? QStringLiteral(" ([Number] TEXT,[Message] MEMO,[Date] TEXT)")
                      : QStringLiteral(" ([Number] TEXT,[Message] MEMO)"));
}

QString insertStatement(const QString& sheet, const QStringList& values)
{
    const bool withDates = values.size() > 2;
    QString sql = QStringLiteral("INSERT INTO ") + sheet +
                  (withDates ? QStringLiteral(" ([Number],[Message],[Date]) VALUES ('")
                             : QStringLiteral(" ([Number],[Message]) VALUES ('"));
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            sql += QStringLiteral("','");
        sql += sqlQuoted(values[i]);
    }
    return sql + QStringLiteral("')");
}

QString excelConnectionString(const QString& path)
{
    return QStringLiteral("DRIVER={%1};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;CREATE_DB=\"%2\";DBQ=%2")
        .arg(QLatin1String(Odbc::kExcelDriver), path);
}

QString cutToCell(const QString& text)
{
    if (text.size() <= kMaxCellText)
        return text;
    qsizetype n = kMaxCellText;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

QString xlsCellText(const QString& text)
{
    QString out = cutToCell(text);
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

QString numberCellText(const QString& number)
{
    if (number.isEmpty())
        return number;
    const QString cut = cutToCell(number);
    if (isDigitsOnly(cut) && cut.size() <= 15 && !cut.startsWith(u'0'))
        return cut;
    return QLatin1Char('\'') + cut;
}

QString messageCellText(const QString& message)
{
    return message.isEmpty() ? message : QLatin1Char('\'') + cutToCell(message);
}

QString dateCellText(const QString& date)
{
    return date.isEmpty() ? date : QLatin1Char('\'') + cutToCell(date);
}

SpreadsheetResult writeXlsFile(const QString& path, const SpreadsheetTable& table)
{
    using S = SpreadsheetResult::Status;
    QString error;
    const auto connection = Odbc::driverConnect(excelConnectionString(path), &error);
    if (!connection)
        return {S::Failed, error};
    const bool withDates = table.hasDates();
    int sheet = 1;
    QString name = sheetName(sheet);
    if (!connection->execute(createTableStatement(name, withDates)))
        return {S::Failed, connection->lastError()};
    int inSheet = 0;
    for (qsizetype i = 0; i < table.rows.size(); ++i) {
        QStringList values = table.rows[i];
        for (QString& v : values)
            v = xlsCellText(v);
        if (!connection->execute(insertStatement(name, values)))
            return {S::Failed, connection->lastError()};
        if (++inSheet == kRowsPerSheet && i + 1 < table.rows.size()) {
            name = sheetName(++sheet);
            inSheet = 0;
            if (!connection->execute(createTableStatement(name, withDates)))
                return {S::Failed, connection->lastError()};
        }
    }
    if (!connection->close())
        return {S::Failed, connection->lastError()};
    return {};
}

namespace {

// Holds the thread's COM start-up and the spreadsheet program for one export;
// the program is told to quit whatever way the export ends.
class ExcelSession
{
public:
    ExcelSession() : m_com(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ExcelSession()
    {
        if (m_app)
            DispatchByName(DISPATCH_METHOD, nullptr, m_app.get(), QStringLiteral("Quit"));
        m_app.reset();
        if (m_com)
            CoUninitialize();
    }

    ComPtr<IDispatch> m_app;

private:
    bool m_com;
};

bool get(IDispatch* object, const QString& member, ComPtr<IDispatch>* out, std::span<const Variant> args = {})
{
    Variant result;
    if (FAILED(DispatchByName(DISPATCH_PROPERTYGET, &result, object, member, args)) || result.vt != VT_DISPATCH ||
        !result.pdispVal)
        return false;
    *out = result.pdispVal;
    return true;
}

bool put(IDispatch* object, const QString& member, const Variant& value)
{
    return SUCCEEDED(DispatchByName(DISPATCH_PROPERTYPUT, nullptr, object, member, std::span(&value, 1)));
}

} // namespace

SpreadsheetResult writeXlsxFile(const QString& path, const SpreadsheetTable& table)
{
    using S = SpreadsheetResult::Status;
    const int columns = int(table.captions.size());
    const int n = int(table.rows.size());
    const QString rangeText = QStringLiteral("A1:") + columnLetter(columns) + QString::number(n + 1);

    ExcelSession session;
    Guid clsid;
    if (FAILED(Automation::CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid)))
        return {S::ProgramMissing, {}};
    if (FAILED(Automation::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                            session.m_app.putVoid())) ||
        !session.m_app)
        return {S::ProgramNotRegistered, {}};

    IDispatch* app = session.m_app.get();
    const SpreadsheetResult failed{S::Failed, QStringLiteral("an automation call failed (see the debug log)")};
    ComPtr<IDispatch> workbooks, workbook, sheet, range;
    if (!put(app, QStringLiteral("Visible"), Variant::fromInt32(0)) ||
        !get(app, QStringLiteral("Workbooks"), &workbooks) || !get(workbooks.get(), QStringLiteral("Add"), &workbook))
        return failed;

    auto array = std::make_shared<SafeArray>(n + 1, columns);
    for (int c = 0; c < columns; ++c)
        array->at(1, c + 1) = Variant::fromString(table.captions[c]);
    for (int r = 0; r < n; ++r) {
        const QStringList& row = table.rows[r];
        array->at(r + 2, 1) = Variant::fromString(numberCellText(row.value(0)));
        array->at(r + 2, 2) = Variant::fromString(messageCellText(row.value(1)));
        if (columns > 2)
            array->at(r + 2, 3) = Variant::fromString(dateCellText(row.value(2)));
    }
    const Variant rangeArg = Variant::fromString(rangeText);
    if (!get(app, QStringLiteral("ActiveSheet"), &sheet) ||
        !get(sheet.get(), QStringLiteral("Range"), &range, std::span(&rangeArg, 1)) ||
        !put(range.get(), QStringLiteral("Value"), Variant::fromArray(std::move(array))))
        return failed;

    const Variant file = Variant::fromString(path);
    if (!put(workbook.get(), QStringLiteral("Saved"), Variant::fromInt32(1)) ||
        FAILED(DispatchByName(DISPATCH_METHOD, nullptr, workbook.get(), QStringLiteral("SaveAs"), std::span(&file, 1))))
        return failed;
    return {};
}
