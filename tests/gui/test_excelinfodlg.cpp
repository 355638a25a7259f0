#include "GuiTestSupport.h"
#include "import/FakeWorkbook.h"

#include "import/WorkbookTables.h"
#include "import/dialogs/CExcel_Info_Dlg.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

// The sheet and column dialog on its own, over an arranged workbook.
class TestExcelInfoDlg : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<FakeEngine> m_engine;
    std::unique_ptr<CExcel_Info_Dlg> m_dlg;
    const QString m_path = QStringLiteral("book.xlsx");

    QListWidget* sheets() { return byId<QListWidget>(m_dlg.get(), 1072); }
    QListWidget* columns() { return byId<QListWidget>(m_dlg.get(), 1005); }
    QCheckBox* selectAll() { return byId<QCheckBox>(m_dlg.get(), 1062); }
    QStringList captions()
    {
        QStringList out;
        for (int i = 0; i < columns()->count(); ++i)
            out.append(columns()->item(i)->text());
        return out;
    }
    void choose(int row)
    {
        sheets()->setCurrentRow(row);
        QTRY_VERIFY(!m_dlg->isReading());
        QVERIFY(m_dlg->isEnabled());
    }
    void open(QList<FakeSheet> book)
    {
        m_engine->book(m_path, book);
        g_arrSheetNames.clear();
        for (const FakeSheet& s : book)
            g_arrSheetNames.append(s.name);
        m_dlg = std::make_unique<CExcel_Info_Dlg>(nullptr, m_path);
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }

private slots:
    void init()
    {
        m_messages = std::make_unique<MessageRecorder>();
        m_engine = std::make_unique<FakeEngine>();
        ResetWorkbookTables();
        g_nSelectedSheet = 0;
    }
    void cleanup()
    {
        m_dlg.reset();
        m_engine.reset();
        m_messages.reset();
    }

    void listsSheetsInWorkbookOrderAndReadsTheChosenOne()
    {
        FakeSheet alpha{QStringLiteral("Alpha")};
        alpha.text("B2", QStringLiteral("Phone")).text("D2", QStringLiteral("Mobile")).error("E2").number("B9", 1);
        open({FakeSheet{QStringLiteral("Zeta")}.number("A1", 1), alpha, FakeSheet{QStringLiteral("Mid")}});
        QCOMPARE(sheets()->count(), 3);
        QCOMPARE(sheets()->item(0)->text(), QStringLiteral("Zeta"));
        QVERIFY(selectAll()->isHidden());
        QVERIFY(columns()->count() == 0);
        choose(1);
        QCOMPARE(g_nSelectedSheet, 2);
        // B2:E9: column C is empty and E holds #N/A, so both are untitled and entry k stays column k.
        QCOMPARE(captions(), (QStringList{"Phone", "Untitled Column 1", "Mobile", "Untitled Column 2"}));
        QVERIFY(!selectAll()->isHidden());
        QVERIFY(!selectAll()->isChecked());
        QCOMPARE(columns()->accessibleName(), QStringLiteral("Columns: 4 listed, 0 selected"));
        QVERIFY(m_messages->shown.isEmpty());

        // Choosing the same sheet again reads nothing; another one and back reads anew.
        const int opens = m_engine->opens;
        choose(1);
        QCOMPARE(m_engine->opens.load(), opens);
        choose(0);
        QCOMPARE(captions(), QStringList{QStringLiteral("1")});
        choose(1);
        QCOMPARE(m_engine->opens.load(), opens + 2);
    }

    void fortyColumnsAreListed()
    {
        FakeSheet wide{QStringLiteral("Wide")};
        for (int c = 0; c < 40; ++c) {
            Workbook::CellValue cell;
            cell.col = quint32(c);
            cell.kind = Workbook::CellKind::Text;
            cell.text = QStringLiteral("H%1").arg(c + 1);
            wide.cells.append(cell);
        }
        open({wide});
        choose(0);
        QCOMPARE(columns()->count(), 40);
        QCOMPARE(columns()->item(39)->text(), QStringLiteral("H40"));
    }

    void selectAllWorksBothWays()
    {
        open({FakeSheet{QStringLiteral("S")}.text("A1", "a").text("B1", "b").text("C1", "c")});
        choose(0);
        selectAll()->click();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(columns()->item(i)->checkState(), Qt::Checked);
        columns()->item(1)->setCheckState(Qt::Unchecked);
        QVERIFY(!selectAll()->isChecked());
        columns()->item(1)->setCheckState(Qt::Checked);
        QVERIFY(selectAll()->isChecked());
        selectAll()->click();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(columns()->item(i)->checkState(), Qt::Unchecked);
    }

    void okNeedsAColumn()
    {
        open({FakeSheet{QStringLiteral("Empty")}, FakeSheet{QStringLiteral("Data")}.text("A1", "a").text("B1", "b")});
        byId<QPushButton>(m_dlg.get(), 1)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("There is no column.\n\nOR\n\nNo column is selected."));
        choose(0);
        QCOMPARE(m_messages->last(), QStringLiteral("Excel sheet is empty."));
        QVERIFY(selectAll()->isHidden());
        byId<QPushButton>(m_dlg.get(), 1)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("There is no column.\n\nOR\n\nNo column is selected."));
        choose(1);
        byId<QPushButton>(m_dlg.get(), 1)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("No column is selected."));
        QVERIFY(m_dlg->isVisible());
        columns()->item(1)->setCheckState(Qt::Checked);
        byId<QPushButton>(m_dlg.get(), 1)->click();
        QCOMPARE(m_dlg->result(), int(QDialog::Accepted));
        QCOMPARE(g_arrColumnSelected, (QList<int>{0, 1}));
        QCOMPARE(g_nSelectedSheet, 2);
    }

    void readFailuresLeaveTheDialogOpen()
    {
        FakeSheet damaged{QStringLiteral("Damaged")};
        damaged.damaged = true;
        open({damaged, FakeSheet{QStringLiteral("Fine")}.text("A1", "a")});
        choose(0);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->last(), QStringLiteral("Excel Error : File reading process is discarded."));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Excel Error"));
        QCOMPARE(columns()->count(), 0);
        choose(1);
        QCOMPARE(captions(), QStringList{QStringLiteral("a")});

        // The file went away meanwhile.
        m_engine->fail(m_path, Workbook::OpenStatus::NotAWorkbook);
        choose(0);
        QCOMPARE(m_messages->last(), QStringLiteral("Failed to open Excel file!"));
        QVERIFY(m_dlg->isVisible());
    }
};

QTEST_MAIN(TestExcelInfoDlg)
#include "test_excelinfodlg.moc"
