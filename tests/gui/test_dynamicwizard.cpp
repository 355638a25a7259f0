#include "GuiTestSupport.h"
#include "import/FakeWorkbook.h"

#include "app/CCorvaneDlg.h"
#include "app/core/RecipientListModel.h"
#include "import/dialogs/CDynamic_Excel_Msg.h"
#include "import/dialogs/CExl_Msg_EG.h"
#include "import/dialogs/CLoad_File_Msg.h"
#include "import/dialogs/CLoad_Xl_SMS_Modeless.h"
#include "import/dialogs/ImportCommands.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

using Wizard = CDynamic_Excel_Msg;

// The Dynamic Message Import Wizard driven from the main window's button.
class TestDynamicWizard : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<FakeEngine> m_engine;
    std::unique_ptr<CCorvaneDlg> m_dlg;
    ImportCommands* m_commands = nullptr;

    RecipientListModel* rows() { return m_dlg->recipients(); }

    QString book(const QString& name, QList<FakeSheet> sheets)
    {
        const QString path = m_folders->app() + QLatin1Char('/') + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("the engine is faked");
        m_engine->book(path, sheets);
        return path;
    }
    // Opens the wizard with the main window's button, runs `script` in it, and
    // returns once the wizard has ended. The script must end the wizard.
    int runWizard(std::function<void(Wizard*)> script, int answer = -1)
    {
        if (answer >= 0)
            whenModal<CLoad_File_Msg>([answer](CLoad_File_Msg* d) { d->done(answer); });
        int result = -1;
        auto chained = [this, script, &result](Wizard* w) {
            connect(w, &QDialog::finished, this, [&result](int r) { result = r; });
            script(w);
            // A script that failed half-way leaves the wizard open: close it so the test ends.
            if (w->isVisible() || w->isWorking()) {
                (void)QTest::qWaitFor([w] { return !w->isWorking(); }, 30000);
                if (w->isVisible())
                    w->done(QDialog::Rejected);
                if (!QTest::currentTestFailed())
                    QFAIL("the wizard was still open after its script");
            }
        };
        whenModal<Wizard>(chained);
        byId<QPushButton>(m_dlg.get(), 1101)->click();
        return result;
    }
    static void click(Wizard* w, int id) { byId<QPushButton>(w, id)->click(); }
    static QString caption(Wizard* w, int id) { return byId<QPushButton>(w, id)->text(); }
    // From page 1 to page 2 in the given mode, with the path filled in.
    static void toFile(Wizard* w, int mode, const QString& path)
    {
        byId<QRadioButton>(w, mode == 0 ? 1150 : 1152)->setChecked(true);
        click(w, 1);
        byId<QLineEdit>(w, 1154)->setText(path);
    }
    static bool finishStep(Wizard* w)
    {
        (void)QTest::qWaitFor([w] { return !w->isWorking(); }, 30000);
        if (w->isWorking())
            qWarning("a wizard step did not end");
        return !w->isWorking();
    }
    QStringList numbers()
    {
        QStringList out;
        for (int i = 0; i < rows()->count(); ++i)
            out.append(rows()->number(i));
        return out;
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_engine = std::make_unique<FakeEngine>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_commands = new ImportCommands(m_dlg.get());
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
    void cleanup()
    {
        Ui::setFileDialogHook({});
        m_dlg.reset();
        m_engine.reset();
        m_messages.reset();
        m_folders.reset();
    }

    void pagesCaptionsAndBack()
    {
        const QString path = book(QStringLiteral("b.xlsx"), {FakeSheet(QStringLiteral("S")).text("A1", "Name").number("A2", 5)});
        runWizard([path](Wizard* w) {
            QCOMPARE(g_nWizardPage.load(), 1);
            QCOMPARE(caption(w, 1), QStringLiteral("Continue"));
            QCOMPARE(caption(w, 1158), QStringLiteral("Cancel"));
            QVERIFY(byId(w, 1150)->isVisible() && !byId(w, 1154)->isVisible());
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());

            toFile(w, 0, path);
            QCOMPARE(g_nWizardPage.load(), 2);
            QCOMPARE(caption(w, 1), QStringLiteral("Finish"));
            QCOMPARE(caption(w, 1158), QStringLiteral("< Back"));
            QVERIFY(byId<QLabel>(w, 1161)->text().startsWith(QStringLiteral("Browse the location of Excel file to import")));
            click(w, 1158);
            QCOMPARE(g_nWizardPage.load(), 1);
            QVERIFY(byId<QLineEdit>(w, 1154)->text().isEmpty());
            QVERIFY(byId<QRadioButton>(w, 1150)->isChecked());

            toFile(w, 1, QString());
            QCOMPARE(caption(w, 1), QStringLiteral("Next >"));
            QVERIFY(byId<QLabel>(w, 1161)->text().startsWith(QStringLiteral("Browse the location of Excel file which")));
            click(w, 1);
            QCOMPARE(g_nWizardPage.load(), 2);
            byId<QLineEdit>(w, 1154)->setText(path);
            click(w, 1);
            if (!finishStep(w))
                return;
            QCOMPARE(g_nWizardPage.load(), 3);
            QCOMPARE(caption(w, 1), QStringLiteral("Finish"));
            click(w, 1);
            byId<QPlainTextEdit>(w, 1157)->setPlainText(QStringLiteral("kept"));
            click(w, 1158);
            QCOMPARE(g_nWizardPage.load(), 2);
            QCOMPARE(byId<QLineEdit>(w, 1154)->text(), path);
            QCOMPARE(byId<QPlainTextEdit>(w, 1157)->toPlainText(), QStringLiteral("kept"));
            click(w, 1);
            if (!finishStep(w))
                return;
            QVERIFY(byId<QPlainTextEdit>(w, 1157)->toPlainText().isEmpty());
            click(w, 1158);
            click(w, 1158);
            click(w, 1158);
        });
        QCOMPARE(m_messages->texts(), (QStringList{QStringLiteral("Please select a valid file path."),
                                                   QStringLiteral("Please enter some text message.")}));
        QCOMPARE(rows()->count(), 0);
    }

    void importModeReadsNumbersAndMessages()
    {
        FakeSheet sheet(QStringLiteral("S"));
        sheet.text("A1", QStringLiteral("Mobile")).text("B1", QStringLiteral("Message"));
        sheet.number("A2", 447700900123).text("B2", QString(2000, QLatin1Char('x')));
        sheet.text("A3", QStringLiteral("+44 1")).text("B3", QStringLiteral("refused"));
        sheet.text("A4", QStringLiteral("12-34")).error("B4");
        const QString path = book(QStringLiteral("n.xlsx"), {sheet});
        const int result = runWizard([path](Wizard* w) {
            toFile(w, 0, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            CLoad_Xl_SMS_Modeless* progress = w->progressWindow();
            QCOMPARE(progress->text(1058), QStringLiteral("Total Records : 4"));
            QCOMPARE(progress->text(1167), QStringLiteral("Currently Reading : 4 / 4 Records"));
            QCOMPARE(progress->rowBarValue(), 4);
        });
        QCOMPARE(result, int(Wizard::Imported));
        QCOMPARE(numbers(), (QStringList{"447700900123", "1234"}));
        QCOMPARE(rows()->message(0).size(), 1600);
        QCOMPARE(rows()->message(1), QString());
        QVERIFY(m_messages->shown.isEmpty());
    }

    void oneColumnGivesEmptyMessagesAndTheRowCapHolds()
    {
        FakeSheet sheet(QStringLiteral("S"));
        for (int r = 0; r < 60000; ++r) {
            Workbook::CellValue c;
            c.row = quint32(r);
            c.kind = Workbook::CellKind::Number;
            c.number = 100000 + r;
            sheet.cells.append(c);
        }
        const QString path = book(QStringLiteral("big.xls"), {sheet});
        runWizard([path](Wizard* w) {
            toFile(w, 0, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            QCOMPARE(w->progressWindow()->text(1058), QStringLiteral("Total Records : 50000"));
        });
        QCOMPARE(rows()->count(), 50000);
        QCOMPARE(rows()->number(0), QStringLiteral("100000"));
        QCOMPARE(rows()->number(49999), QStringLiteral("149999"));
        QVERIFY(rows()->message(0).isEmpty());
    }

    // A Yes over a sheet of several blocks: the list is emptied before the first block only.
    void yesReplacesTheListWithEveryBlock()
    {
        seed();
        FakeSheet sheet(QStringLiteral("S"));
        QStringList expectedNumbers, expectedMessages;
        for (int r = 0; r < 12000; ++r) {
            Workbook::CellValue number;
            number.row = quint32(r);
            number.kind = Workbook::CellKind::Number;
            number.number = 8000000 + r * 3;
            Workbook::CellValue message;
            message.row = quint32(r);
            message.col = 1;
            message.kind = Workbook::CellKind::Text;
            message.text = QStringLiteral("m%1").arg(r);
            sheet.cells << number << message;
            expectedNumbers.append(QString::number(8000000 + r * 3));
            expectedMessages.append(message.text);
        }
        const QString path = book(QStringLiteral("many.xlsx"), {sheet});
        QObject watch;
        int blocks = 0;
        connect(rows(), &RecipientListModel::rowsInserted, &watch, [&blocks] { ++blocks; });
        const int result = runWizard(
            [path](Wizard* w) {
                toFile(w, 0, path);
                click(w, 1);
                finishStep(w);
            },
            CLoad_File_Msg::ClearList);
        QCOMPARE(result, int(Wizard::Imported));
        QVERIFY2(blocks > 1, "the sheet should come in more than one block");
        QCOMPARE(numbers(), expectedNumbers);
        QStringList messages;
        for (int i = 0; i < rows()->count(); ++i)
            messages.append(rows()->message(i));
        QCOMPARE(messages, expectedMessages);
        QCOMPARE(m_dlg->m_nCountBeforeImport, 0);
    }

    void dynamicMessagesFollowThePlaceholderRules()
    {
        FakeSheet sheet(QStringLiteral("S"));
        sheet.text("A1", QStringLiteral("Mobile")).text("C1", QStringLiteral("City"));
        sheet.text("A2", QStringLiteral("9-87")).text("B2", QStringLiteral("Ann <COL-3>")).text("C2", QStringLiteral("Rome"));
        sheet.number("A3", 4455).text("C3", QStringLiteral("Oslo"));
        const QString path = book(QStringLiteral("d.xlsx"), {sheet});
        runWizard([path](Wizard* w) {
            toFile(w, 1, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            auto* list = byId<QTableWidget>(w, 1156);
            QCOMPARE(list->rowCount(), 3);
            QCOMPARE(list->item(1, 1)->text(), QStringLiteral("Untitled Column 1"));
            QCOMPARE(list->item(2, 2)->text(), QStringLiteral("<COL-3>"));
            auto* edit = byId<QPlainTextEdit>(w, 1157);
            edit->setPlainText(QStringLiteral("Hi <COL-2>/<col-2>/<COL-1>/<COL-4>/<COL-0>/<COL-11>"));
            click(w, 1);
            finishStep(w);
        });
        QCOMPARE(numbers(), (QStringList{"987", "4455"}));
        // An earlier replacement's text is searched again; lower case, 0, 11 and columns beyond the sheet stay.
        QCOMPARE(rows()->message(0), QStringLiteral("Hi Ann Rome/<col-2>/9-87/<COL-4>/<COL-0>/<COL-11>"));
        QCOMPARE(rows()->message(1), QStringLiteral("Hi /<col-2>/4455/<COL-4>/<COL-0>/<COL-11>"));
    }

    // Files the real readers take, chosen with Browse: the columns as the file
    // has them, and placeholders filled with the fields as written.
    void realFilesThroughBrowse_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("first");
        QTest::newRow("csv, semicolons, quoted fields")
            << QStringLiteral("class.CSV")
            << QByteArray("\xEF\xBB\xBFMobile;Name;Marks\r\n447700;\"Ann; \"\"A\"\"\";564\r\n0099;Bo;07\r\n")
            << QStringLiteral("Ann; \"A\": 564");
        QTest::newRow("csv, commas, line break in a field")
            << QStringLiteral("class.csv") << QByteArray("Mobile,Name,Marks\n447700,\"Ann,\nA\",564\n0099,Bo,07")
            << QStringLiteral("Ann,\nA: 564");
    }
    void realFilesThroughBrowse()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, first);
        const QString path = m_folders->app() + QLatin1Char('/') + name;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const QString refused = m_folders->app() + QStringLiteral("/class.doc");
        QFile other(refused);
        QVERIFY(other.open(QIODevice::WriteOnly));
        QString chosen;
        QString filter;
        Ui::setFileDialogHook([&](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString& f) {
            filter = f;
            return chosen;
        });
        runWizard([&](Wizard* w) {
            toFile(w, 1, QString());
            auto* browse = byId<QPushButton>(w, 1114);
            chosen = refused;
            browse->click();
            QVERIFY(byId<QLineEdit>(w, 1154)->text().isEmpty());
            chosen = path;
            browse->click();
            QCOMPARE(byId<QLineEdit>(w, 1154)->text(), path);
            click(w, 1);
            if (!finishStep(w))
                return;
            auto* list = byId<QTableWidget>(w, 1156);
            QCOMPARE(list->rowCount(), 3);
            QCOMPARE(list->item(2, 1)->text(), QStringLiteral("Marks"));
            byId<QPlainTextEdit>(w, 1157)->setPlainText(QStringLiteral("<COL-2>: <COL-3>"));
            click(w, 1);
            finishStep(w);
        });
        QVERIFY(filter.contains(QLatin1String("*.csv")));
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("Please select a valid file.")});
        QCOMPARE(numbers(), (QStringList{"447700", "0099"}));
        // Text as written: the quotes undone, the leading zero of 07 kept.
        QCOMPARE(rows()->message(0), first);
        QCOMPARE(rows()->message(1), QStringLiteral("Bo: 07"));
    }

    // Workbooks saved by spreadsheet programs (tests/import/data): every format
    // gives the wizard the same column captions.
    void savedWorkbooksGiveTheirCaptions_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name :
             {"libreoffice.xlsx", "libreoffice.xls", "libreoffice.ods", "gnumeric.xlsx", "gnumeric.xls"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void savedWorkbooksGiveTheirCaptions()
    {
        QFETCH(QString, name);
        const QString path = QStringLiteral(VEVA_IMPORT_TEST_DATA "/") + name;
        QStringList captions;
        runWizard([&](Wizard* w) {
            toFile(w, 1, path);
            click(w, 1);
            if (finishStep(w)) {
                auto* list = byId<QTableWidget>(w, 1156);
                for (int r = 0; r < list->rowCount(); ++r)
                    captions.append(list->item(r, 1)->text() + u' ' + list->item(r, 2)->text());
            }
            click(w, 1158);
            click(w, 1158);
            click(w, 1158);
        });
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(captions, (QStringList{"Name <COL-1>", "Mobile <COL-2>", "Amount <COL-3>", "Member <COL-4>",
                                        "Code <COL-5>", "Other <COL-6>"}));
    }

    // A placeholder column or the number column holding formulas without their result: the wizard
    // imports and then says so, naming the first in row order. Columns past the placeholders are not read.
    void formulasWithoutResultAreToldOf()
    {
        FakeSheet sheet(QStringLiteral("S"));
        sheet.text("A1", QStringLiteral("Mobile")).text("C1", QStringLiteral("City"));
        sheet.number("A2", 4455).formula("C2").formula("L2");
        sheet.formula("A3").text("C3", QStringLiteral("Oslo"));
        const QString path = book(QStringLiteral("f.xlsx"), {sheet});
        runWizard([path](Wizard* w) {
            toFile(w, 1, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            byId<QPlainTextEdit>(w, 1157)->setPlainText(QStringLiteral("Hi <COL-3>"));
            click(w, 1);
            finishStep(w);
        });
        QCOMPARE(numbers(), QStringList{"4455"});
        QCOMPARE(rows()->message(0), QStringLiteral("Hi "));
        QCOMPARE(m_messages->texts(),
                 QStringList{QStringLiteral("2 cells hold a formula whose result the file does not store; they were "
                                            "read as empty (the first is S!C2).\n\nOpen the file in a spreadsheet "
                                            "program and save it there, so that the results are stored, then import "
                                            "it again.")});
    }

    void columnListStopsAtTen()
    {
        FakeSheet sheet(QStringLiteral("S"));
        for (int c = 0; c < 15; ++c) {
            Workbook::CellValue cell;
            cell.col = quint32(c);
            cell.kind = Workbook::CellKind::Text;
            cell.text = QStringLiteral("H%1").arg(c + 1);
            sheet.cells.append(cell);
        }
        sheet.error("E1");
        sheet.number("A2", 123);
        const QString path = book(QStringLiteral("w.xlsx"), {sheet});
        runWizard([path](Wizard* w) {
            toFile(w, 1, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            auto* list = byId<QTableWidget>(w, 1156);
            // Ten columns read; E's heading cannot be read, so it has no row and the rest keep their numbers.
            QCOMPARE(list->rowCount(), 9);
            QCOMPARE(list->item(4, 0)->text(), QStringLiteral("5"));
            QCOMPARE(list->item(4, 2)->text(), QStringLiteral("<COL-6>"));
            QCOMPARE(list->item(8, 2)->text(), QStringLiteral("<COL-10>"));
            click(w, 1158);
            click(w, 1158);
            click(w, 1158);
        });
    }

    void placeholdersGoWhereTheCaretIs()
    {
        const QString path =
            book(QStringLiteral("p.xlsx"), {FakeSheet(QStringLiteral("S")).text("A1", "Phone").text("B1", "Name")});
        runWizard([path, this](Wizard* w) {
            toFile(w, 1, path);
            click(w, 1);
            if (!finishStep(w))
                return;
            auto* list = byId<QTableWidget>(w, 1156);
            auto* edit = byId<QPlainTextEdit>(w, 1157);
            list->clearSelection();
            click(w, 1101);
            QCOMPARE(m_messages->last(), QStringLiteral("Please select a record from the list to continue."));
            edit->setPlainText(QStringLiteral("Dear XX, hello"));
            QTextCursor cursor = edit->textCursor();
            cursor.setPosition(5);
            cursor.setPosition(7, QTextCursor::KeepAnchor);
            edit->setTextCursor(cursor);
            list->selectRow(1);
            click(w, 1101);
            QCOMPARE(edit->toPlainText(), QStringLiteral("Dear <COL-2>, hello"));
            QCOMPARE(edit->textCursor().position(), int(edit->toPlainText().size()));
            cursor = edit->textCursor();
            cursor.setPosition(0);
            edit->setTextCursor(cursor);
            list->selectRow(0);
            emit list->cellDoubleClicked(0, 0);
            QCOMPARE(edit->toPlainText(), QStringLiteral("<COL-1>Dear <COL-2>, hello"));
            click(w, 1158);
            click(w, 1158);
            click(w, 1158);
        });
    }

    void failures()
    {
        seed();
        const QString locked = book(QStringLiteral("locked.xlsx"), {});
        m_engine->fail(locked, Workbook::OpenStatus::Encrypted);
        FakeSheet bad(QStringLiteral("S"));
        bad.number("A1", 111).text("B1", QStringLiteral("a")).number("A2", 222).error("B2").number("A3", 333);
        const QString broken = book(QStringLiteral("err.xlsx"), {bad});
        const QString empty = book(QStringLiteral("empty.xlsx"), {FakeSheet(QStringLiteral("S"))});
        const int result = runWizard(
            [&](Wizard* w) {
                toFile(w, 0, locked);
                click(w, 1);
                if (!finishStep(w))
                    return;
                QCOMPARE(g_nWizardPage.load(), 2);
                QVERIFY(w->isVisible());
                byId<QLineEdit>(w, 1154)->setText(empty);
                click(w, 1);
                if (!finishStep(w))
                    return;
                QCOMPARE(g_nWizardPage.load(), 2);
                click(w, 1158);
                toFile(w, 1, broken);
                click(w, 1);
                if (!finishStep(w))
                    return;
                byId<QPlainTextEdit>(w, 1157)->setPlainText(QStringLiteral("<COL-1>"));
                click(w, 1);
                finishStep(w);
            },
            CLoad_File_Msg::Append);
        QCOMPARE(m_messages->texts(),
                 (QStringList{QStringLiteral("Excel Error : File reading process is discarded."),
                              QStringLiteral("Excel sheet is empty."),
                              QStringLiteral("Excel Error : File reading process is discarded.")}));
        QCOMPARE(m_messages->shown.first().caption, QStringLiteral("Excel Error"));
        // The error cell in row 2 ended the read; row 1 stays, above the rows that were there.
        QCOMPARE(result, int(Wizard::Imported));
        QCOMPARE(numbers().first(), QStringLiteral("111"));
        QCOMPARE(rows()->count(), 6);
        QVERIFY(m_dlg->isEnabled());
    }

    void nothingNewKeepsTheWizardOpen()
    {
        seed();
        byId<QCheckBox>(m_dlg.get(), 1014)->setChecked(true);
        const QString path = book(QStringLiteral("same.xlsx"), {FakeSheet(QStringLiteral("S")).text("A1", "700000")});
        runWizard(
            [path, this](Wizard* w) {
                toFile(w, 0, path);
                click(w, 1);
                if (!finishStep(w))
                    return;
                QCOMPARE(m_messages->shown.size(), 1);
                QVERIFY(m_messages->last().startsWith(QStringLiteral("Either file is corrupted")));
                QVERIFY(w->isVisible());
                QCOMPARE(g_nWizardPage.load(), 2);
                click(w, 1158);
                click(w, 1158);
            },
            CLoad_File_Msg::Append);
        QCOMPARE(rows()->count(), 5);
        // A Yes followed by a cancelled wizard keeps the list too.
        runWizard([](Wizard* w) { click(w, 1158); }, CLoad_File_Msg::ClearList);
        QCOMPARE(rows()->count(), 5);
    }

    void exampleShowsTheTemplateAndItsResult()
    {
        CExl_Msg_EG example(nullptr);
        QCOMPARE(example.windowTitle(), QStringLiteral("Example of personalized Dynamic Message"));
        QVERIFY(CExl_Msg_EG::exampleTemplate().contains(QStringLiteral("Dear <COL-2> ,")));
        QVERIFY(CExl_Msg_EG::filledExample().contains(QStringLiteral("564 marks out of 600")));
    }

private:
    void seed()
    {
        for (int i = 0; i < 5; ++i)
            rows()->insertRecipient(0, QStringLiteral("70000%1").arg(i), QStringLiteral("old"));
    }
};

QTEST_MAIN(TestDynamicWizard)
#include "test_dynamicwizard.moc"
