#include "GuiTestSupport.h"

#include "app/CCorvaneDlg.h"
#include "app/ListEditDialogs.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "app/controls/CSpecialEdit.h"
#include "app/core/RecipientListModel.h"
#include "store/DataFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

class TestListEditDialogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolders> m_folders;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<CCorvaneDlg> m_dlg;

    RecipientListModel* rows() { return m_dlg->recipients(); }
    CMyListCtrl* list() { return m_dlg->recipientList(); }
    void fill(const QList<RecipientListModel::Row>& r)
    {
        rows()->clear();
        rows()->appendRecipients(r);
    }
    void select(std::initializer_list<int> which)
    {
        list()->clearSelection();
        for (int r : which)
            list()->selectionModel()->select(rows()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList messages()
    {
        QStringList out;
        for (int r = 0; r < rows()->count(); ++r)
            out.append(rows()->message(r));
        return out;
    }

private slots:
    void init()
    {
        m_folders = std::make_unique<TestFolders>();
        m_messages = std::make_unique<MessageRecorder>();
        m_dlg = std::make_unique<CCorvaneDlg>();
        m_dlg->initialise();
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
    void cleanup()
    {
        m_dlg.reset();
        m_messages.reset();
        m_folders.reset();
    }

    void applyPreChecks()
    {
        byId<QPushButton>(m_dlg.get(), 1137)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("Phone numbers-Messages list is empty."));
        fill({{QStringLiteral("1"), QString()}});
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("   "));
        byId<QPushButton>(m_dlg.get(), 1137)->click();
        QCOMPARE(m_messages->last(), QStringLiteral("Please enter some text message."));
        byId<QPushButton>(m_dlg.get(), 1135)->click();
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Please select at least one record from the phone numbers-messages list to continue."));
    }

    void applyToBlankRowsOnly()
    {
        fill({{QStringLiteral("1"), QStringLiteral("keep")}, {QStringLiteral("2"), QStringLiteral("  ")},
              {QStringLiteral("3"), QString()}});
        CFill_Msg_In_List dialog(m_dlg.get(), rows(), list(), QStringLiteral("New text"));
        dialog.setChoice(2);
        m_messages->answer(Ui::IdYes);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(messages(), (QStringList{QStringLiteral("keep"), QStringLiteral("New text"), QStringLiteral("New text")}));
        QVERIFY(m_messages->last().startsWith(QStringLiteral("This action will copy the message of composer box to the blank")));
    }

    void applyStaysOpenOnNoOrNothingToDo()
    {
        fill({{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")}});
        CFill_Msg_In_List dialog(m_dlg.get(), rows(), list(), QStringLiteral("X"));
        dialog.show();
        dialog.setChoice(2);
        dialog.accept();
        QCOMPARE(m_messages->last(), QStringLiteral("There is no blank message in the phone numbers-messages list."));
        QVERIFY(dialog.isVisible());

        dialog.setChoice(1);
        list()->clearSelection();
        dialog.accept();
        QCOMPARE(m_messages->last(),
                 QStringLiteral("Please select at least one record from the phone numbers-messages list to continue."));

        dialog.setChoice(0);
        m_messages->answer(Ui::IdNo);
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(m_messages->shown.last().caption, QStringLiteral("Confirm"));
        QCOMPARE(m_messages->shown.last().icon, Ui::Icon::Warning);
    }

    void applyFromTheMainWindowRecordsTheAppliedText()
    {
        fill({{QStringLiteral("1"), QString()}, {QStringLiteral("2"), QString()}});
        select({1});
        byId<CMy_Sel_All_Edit>(m_dlg.get(), 1005)->setText(QStringLiteral("Line one\r\nline two"));
        m_dlg->m_strAppliedMessage.clear();
        whenModal<CFill_Msg_In_List>([this](CFill_Msg_In_List* d) {
            QVERIFY(byId<QRadioButton>(d, 1164)->isChecked());
            byId<QRadioButton>(d, 1170)->setChecked(true);
            m_messages->answer(Ui::IdYes);
            byId<QPushButton>(d, 1)->click();
        });
        byId<QPushButton>(m_dlg.get(), 1137)->click();
        QCOMPARE(messages(), (QStringList{QString(), QStringLiteral("Line one\r\nline two")}));
        QCOMPARE(m_dlg->m_strAppliedMessage, QStringLiteral("Line one\r\nline two"));
    }

    void updateAcceptsAnUnchangedNumber()
    {
        fill({{QStringLiteral("123"), QStringLiteral("m")}, {QStringLiteral("123"), QStringLiteral("n")}});
        byId<QCheckBox>(m_dlg.get(), 1014)->setChecked(true);
        select({0});
        whenModal<CUpdate_Num_Message>([](CUpdate_Num_Message* d) {
            QCOMPARE(byId<CSpecialEdit>(d, 1162)->text(), QStringLiteral("123"));
            QCOMPARE(byId<QLabel>(d, 1004)->text(), QStringLiteral("1 Characters"));
            byId<CMy_Sel_All_Edit>(d, 1163)->setText(QStringLiteral("changed"));
            byId<QPushButton>(d, 1)->click();
        });
        QTest::keyClick(list(), Qt::Key_Return);
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(rows()->message(0), QStringLiteral("changed"));
    }

    void updateRules()
    {
        fill({{QStringLiteral("111"), QString()}, {QStringLiteral("222"), QString()}});
        auto open = [this](int row) {
            auto d = std::make_unique<CUpdate_Num_Message>(m_dlg.get(), row, rows()->number(row), rows()->message(row),
                                                           QStringLiteral("MSG"));
            d->skipDuplicates = true;
            d->useExclusion = true;
            d->isListedElsewhere = [this](const QString& n, int r) { return rows()->isListedElsewhere(n, r); };
            d->isExcluded = [](const QString& n) { return n == QLatin1String("999"); };
            d->show();
            return d;
        };
        auto d = open(0);
        auto* edit = byId<CSpecialEdit>(d.get(), 1162);
        edit->setText(QStringLiteral("222"));
        byId<CMy_Sel_All_Edit>(d.get(), 1163)->setFocus(); // the focus must come back to the number
        d->accept();
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number already exists."));
        QVERIFY(d->isVisible());
        QCOMPARE(d->focusWidget(), edit);
        edit->setText(QStringLiteral("999"));
        d->accept();
        QCOMPARE(m_messages->last(), QStringLiteral("Entered number is in exclusion list."));
        for (const QString& bad : {QStringLiteral("1+1"), QStringLiteral(" "), QStringLiteral("++1")}) {
            edit->setText(bad);
            d->accept();
            QCOMPARE(m_messages->last(), QStringLiteral("Please enter a valid phone number."));
        }
        edit->setText(QStringLiteral("+44123"));
        d->accept();
        QCOMPARE(d->result(), int(QDialog::Accepted));
    }

    // "+44123" becomes "0044123", found only at the edited row: that ends the
    // checks with OK before the exclusion test.
    void updateKeepsItsOwnExcludedNumber()
    {
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::exclusionListPath(QStringLiteral("L")),
                                                {QStringLiteral("0044123")}));
        QVERIFY(DataFiles::AppendExclusionLines(DataFiles::inUseListPath(), {QStringLiteral("L")}));
        fill({{QStringLiteral("0044123"), QStringLiteral("m")}, {QStringLiteral("555"), QStringLiteral("n")}});
        byId<QCheckBox>(m_dlg.get(), 1014)->setChecked(true);
        byId<QCheckBox>(m_dlg.get(), 1169)->setChecked(true);
        QVERIFY(m_dlg->IsExcludedNumber(QStringLiteral("0044123")));
        select({0});
        bool accepted = false;
        whenModal<CUpdate_Num_Message>([&accepted](CUpdate_Num_Message* d) {
            byId<CSpecialEdit>(d, 1162)->setText(QStringLiteral("+44123"));
            byId<QPushButton>(d, 1)->click();
            accepted = d->result() == QDialog::Accepted;
        });
        emit list()->rowActivated(0);
        QVERIFY(m_messages->shown.isEmpty());
        QVERIFY(accepted);
        QCOMPARE(rows()->number(0), QStringLiteral("0044123"));
    }

    void updateStoresThePlusAsZeros()
    {
        fill({{QStringLiteral("111"), QStringLiteral("old")}});
        select({0});
        whenModal<CUpdate_Num_Message>([](CUpdate_Num_Message* d) {
            byId<CSpecialEdit>(d, 1162)->setText(QStringLiteral("+44123"));
            byId<QPushButton>(d, 1)->click();
        });
        emit list()->rowActivated(0);
        QCOMPARE(rows()->number(0), QStringLiteral("0044123"));
        QCOMPARE(rows()->message(0), QStringLiteral("old"));
        QVERIFY(rows()->numbers().contains(QStringLiteral("0044123")));
        QVERIFY(!rows()->numbers().contains(QStringLiteral("111")));
    }

    void updateShowsALongMessageCounterAtOnce()
    {
        CUpdate_Num_Message d(m_dlg.get(), 0, QStringLiteral("1"), QString(161, QLatin1Char('x')), QStringLiteral("MSG"));
        QCOMPARE(byId<QLabel>(&d, 1004)->text(), QStringLiteral("161 Characters (Each Message will now consume 2 SMS)"));
        CUpdate_Num_Message pb(m_dlg.get(), 0, QStringLiteral("1"), QString(), QStringLiteral("PB"));
        QVERIFY(!byId<CMy_Sel_All_Edit>(&pb, 1163)->isEnabled());
    }

    void updateSelectedMessages()
    {
        fill({{QStringLiteral("1"), QStringLiteral("a")}, {QStringLiteral("2"), QStringLiteral("b")},
              {QStringLiteral("3"), QStringLiteral("c")}});
        select({0, 2});
        whenModal<CUpdate_Selected_Item_SMS>([this](CUpdate_Selected_Item_SMS* d) {
            QTRY_COMPARE(d->selectedCount(), 2);
            QCOMPARE(byId<QLabel>(d, 1102)->text(), QStringLiteral("Total Selected Numbers : 2"));
            byId<QPushButton>(d, 1)->click();
            QCOMPARE(m_messages->last(), QStringLiteral("Please enter some text message."));
            d->setMessage(QStringLiteral("  new  "));
            m_messages->answer(Ui::IdYes);
            byId<QPushButton>(d, 1)->click();
        });
        byId<QPushButton>(m_dlg.get(), 1135)->click();
        QCOMPARE(messages(), (QStringList{QStringLiteral("  new  "), QStringLiteral("b"), QStringLiteral("  new  ")}));
    }
};

QTEST_MAIN(TestListEditDialogs)
#include "test_listeditdialogs.moc"
