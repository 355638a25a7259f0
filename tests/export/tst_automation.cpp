// Late-bound calls, the class registry, and the spreadsheet program stand-in
// (how it takes cell values, its ranges, and the .xlsx files it saves).
#include "ReadBack.h"

#include "platform/automation/Automation.h"
#include "platform/automation/ExcelCells.h"
#include "platform/automation/ExcelStandIn.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Automation;

namespace {

// Records the arguments of its one member "Echo".
class Recorder : public DispatchObject
{
public:
    Recorder()
    {
        addMember(QStringLiteral("Echo"), DISPATCH_METHOD | DISPATCH_PROPERTYPUT, [this](const Call& call) {
            seen = call.args;
            put = call.value ? call.value->bstrVal : QString();
            if (call.result)
                *call.result = Variant::fromInt32(int(call.args.size()));
            return S_OK;
        });
    }
    QList<Variant> seen;
    QString put;
};

ComPtr<IDispatch> get(IDispatch* object, const QString& member, std::span<const Variant> args = {})
{
    Variant v;
    if (FAILED(DispatchByName(DISPATCH_PROPERTYGET, &v, object, member, args)))
        return {};
    return v.pdispVal;
}

ComPtr<IDispatch> range(IDispatch* sheet, const QString& a, const QString& b = QString())
{
    QList<Variant> args;
    if (!b.isEmpty())
        args.append(Variant::fromString(b));
    args.append(Variant::fromString(a));
    return get(sheet, QStringLiteral("Range"), args);
}

HRESULT putValue(IDispatch* target, const Variant& value)
{
    return DispatchByName(DISPATCH_PROPERTYPUT, nullptr, target, QStringLiteral("Value"), std::span(&value, 1));
}

} // namespace

class TestAutomation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }

    void dispatchByName()
    {
        QCOMPARE(DispatchByName(DISPATCH_METHOD, nullptr, nullptr, QStringLiteral("Anything")), S_OK);
        auto* recorder = new Recorder;
        ComPtr<IDispatch> object = ComPtr<IDispatch>::attach(recorder);
        const Variant lastFirst[] = {Variant::fromString(QStringLiteral("second")),
                                     Variant::fromString(QStringLiteral("first"))};
        Variant result;
        QCOMPARE(DispatchByName(DISPATCH_METHOD, &result, object.get(), QStringLiteral("echo"), lastFirst), S_OK);
        QCOMPARE(result.lVal, 2);
        QCOMPARE(recorder->seen.at(0).bstrVal, QStringLiteral("first"));
        QCOMPARE(recorder->seen.at(1).bstrVal, QStringLiteral("second"));
        QCOMPARE(DispatchByName(DISPATCH_PROPERTYPUT, nullptr, object.get(), QStringLiteral("Echo"), lastFirst), S_OK);
        QCOMPARE(recorder->put, QStringLiteral("second"));
        QCOMPARE(recorder->seen.at(0).bstrVal, QStringLiteral("first"));
        QCOMPARE(DispatchByName(DISPATCH_PROPERTYGET, &result, object.get(), QStringLiteral("Echo")),
                 DISP_E_MEMBERNOTFOUND);
        QCOMPARE(DispatchByName(DISPATCH_METHOD, &result, object.get(), QStringLiteral("Missing")), DISP_E_UNKNOWNNAME);
    }

    void classRegistry()
    {
        Guid clsid;
        QCOMPARE(Automation::CLSIDFromProgID(QStringLiteral("No.Such.Program"), &clsid), CO_E_CLASSSTRING);
        QCOMPARE(Automation::CLSIDFromProgID(QStringLiteral("excel.application"), &clsid), S_OK);
        ComPtr<IDispatch> app;
        QCOMPARE(Automation::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, app.putVoid()),
                 REGDB_E_CLASSNOTREG);
        HRESULT elsewhere = S_OK;
        std::thread([&] {
            ComPtr<IDispatch> other;
            elsewhere =
                Automation::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, other.putVoid());
        }).join();
        QCOMPARE(elsewhere, CO_E_NOTINITIALIZED);
        QCOMPARE(Automation::CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, app.putVoid()), S_OK);
        QVERIFY(app);
    }

    void typedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("number");
        QTest::addColumn<QString>("stored");
        using K = CellValue::Kind;
        auto row = [](const char* text, K kind, double number, const char* stored) {
            QTest::newRow(text) << QString::fromUtf8(text) << int(kind) << number << QString::fromUtf8(stored);
        };
        row("'00447700900123", K::Text, 0, "00447700900123");
        row("''quoted", K::Text, 0, "'quoted");
        row("00447700900123", K::Number, 447700900123.0, "");
        row("1234567890123456", K::Number, 1234567890123460.0, ""); // 15 significant digits
        row(" 42 ", K::Number, 42, "");
        row("-1.5e2", K::Number, -150, "");
        row("50%", K::Number, 0.5, "");
        row("=1+1", K::Formula, 0, "=1+1");
        row("=", K::Text, 0, "=");
        row("true", K::Boolean, 1, "");
        row("#N/A", K::Error, 0, "#N/A");
        row("1/2/2012", K::Date, 40940, ""); // 1 February 2012
        row("12-34", K::Date, 12754, "");    // December 1934
        row("31/02/2012", K::Text, 0, "31/02/2012");
        row("12-34-56", K::Text, 0, "12-34-56");
        row("Hello, world", K::Text, 0, "Hello, world");
    }
    void typedText()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(double, number);
        QFETCH(QString, stored);
        const CellValue cell = cellFromText(text, QDate(2012, 6, 1));
        QCOMPARE(int(cell.kind), kind);
        QCOMPARE(cell.number, number);
        QCOMPARE(cell.text, stored);
    }

    void rangesAndQuit()
    {
        ComPtr<IDispatch> app = createExcelApplication();
        ComPtr<IDispatch> books = get(app.get(), QStringLiteral("Workbooks"));
        QVERIFY(get(books.get(), QStringLiteral("Add")));
        ComPtr<IDispatch> sheet = get(app.get(), QStringLiteral("ActiveSheet"));
        QVERIFY(sheet);
        QVERIFY(!range(sheet.get(), QStringLiteral("A0")));
        QVERIFY(!range(sheet.get(), QStringLiteral("XFE1")));

        // A 1 by 1 array in a 2 by 2 range: the cells without a value get #N/A.
        auto one = std::make_shared<SafeArray>(1, 1);
        one->at(1, 1) = Variant::fromString(QStringLiteral("kept"));
        QCOMPARE(putValue(range(sheet.get(), QStringLiteral("B2:C3")).get(), Variant::fromArray(one)), S_OK);
        Variant back;
        QCOMPARE(DispatchByName(DISPATCH_PROPERTYGET, &back,
                                range(sheet.get(), QStringLiteral("C3"), QStringLiteral("B2")).get(),
                                QStringLiteral("Value")),
                 S_OK);
        QCOMPARE(back.parray->at(1, 1).bstrVal, QStringLiteral("kept"));
        QCOMPARE(back.parray->at(2, 2).vt, VT_ERROR);

        // A value that cannot go in leaves every cell as it was.
        auto tooLong = std::make_shared<SafeArray>(1, 2);
        tooLong->at(1, 1) = Variant::fromString(QStringLiteral("new"));
        tooLong->at(1, 2) = Variant::fromString(QString(kMaxCellText + 1, u'x'));
        QCOMPARE(putValue(range(sheet.get(), QStringLiteral("B2:C2")).get(), Variant::fromArray(tooLong)),
                 DISP_E_EXCEPTION);
        QCOMPARE(DispatchByName(DISPATCH_PROPERTYGET, &back, range(sheet.get(), QStringLiteral("B2")).get(),
                                QStringLiteral("Value")),
                 S_OK);
        QCOMPARE(back.bstrVal, QStringLiteral("kept"));

        QCOMPARE(DispatchByName(DISPATCH_METHOD, nullptr, app.get(), QStringLiteral("Quit")), S_OK);
        QCOMPARE(DispatchByName(DISPATCH_PROPERTYGET, &back, sheet.get(), QStringLiteral("Name")), RPC_E_DISCONNECTED);
    }

    void saveAsWritesTheCellsTheirTypes()
    {
        ComPtr<IDispatch> app = createExcelApplication();
        ComPtr<IDispatch> book = get(get(app.get(), QStringLiteral("Workbooks")).get(), QStringLiteral("Add"));
        ComPtr<IDispatch> sheet = get(book.get(), QStringLiteral("ActiveSheet"));
        const QStringList texts = {QStringLiteral("'0044"),    QStringLiteral("7"),     QStringLiteral("=1+1"),
                                   QStringLiteral("1/2/2012"), QStringLiteral("FALSE"), QStringLiteral("two\r\nlines"),
                                   QStringLiteral("Καλημέρα")};
        auto array = std::make_shared<SafeArray>(1, int(texts.size()));
        for (int i = 0; i < texts.size(); ++i)
            array->at(1, i + 1) = Variant::fromString(texts[i]);
        QCOMPARE(putValue(range(sheet.get(), QStringLiteral("A1:G1")).get(), Variant::fromArray(array)), S_OK);
        const QString path = m_dir.filePath(QStringLiteral("saved.xlsx"));
        const Variant file = Variant::fromString(path);
        QCOMPARE(DispatchByName(DISPATCH_METHOD, nullptr, book.get(), QStringLiteral("SaveAs"), std::span(&file, 1)),
                 S_OK);

        const QJsonArray rows = sheetRows(readBack(QStringLiteral("xlsx"), path), 0);
        const QStringList expected = {QStringLiteral("s:0044"),    QStringLiteral("n:7"),
                                      QStringLiteral("f:=1+1"),    QStringLiteral("d:2012-02-01T00:00:00"),
                                      QStringLiteral("b:false"),   QStringLiteral("s:two\r\nlines"),
                                      QStringLiteral("s:Καλημέρα")};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(cellAt(rows, 0, i), expected[i]);

        const Variant nowhere = Variant::fromString(QStringLiteral("/no/such/folder/x.xlsx"));
        QCOMPARE(DispatchByName(DISPATCH_METHOD, nullptr, book.get(), QStringLiteral("SaveAs"), std::span(&nowhere, 1)),
                 DISP_E_EXCEPTION);
    }
};

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
