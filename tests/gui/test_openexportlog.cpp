// The "exported successfully" dialog: its text, its check box and its result.
#include "GuiTestSupport.h"

#include "export/dialogs/COpen_Export_Log.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

class TestOpenExportLog : public QObject
{
    Q_OBJECT

private slots:
    void textAndBox()
    {
        COpen_Export_Log plain(nullptr);
        QCOMPARE(byId<QLabel>(&plain, 1132)->text(), QStringLiteral("File has been exported successfully."));
        COpen_Export_Log given(nullptr, QStringLiteral("Sent Items has been exported successfully."));
        QCOMPARE(byId<QLabel>(&given, 1132)->text(), QStringLiteral("Sent Items has been exported successfully."));
        QVERIFY(byId<QCheckBox>(&given, 1183)->isChecked());
        QCOMPARE(given.windowTitle(), QStringLiteral("Message"));
    }

    void result_data()
    {
        QTest::addColumn<bool>("untick");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("open");
        QTest::newRow("OK, ticked") << false << 1 << true << true;
        QTest::newRow("OK, cleared") << true << 1 << true << false;
        QTest::newRow("Cancel") << false << 2 << false << false;
    }
    void result()
    {
        QFETCH(bool, untick);
        QFETCH(int, button);
        QFETCH(bool, accepted);
        QFETCH(bool, open);
        COpen_Export_Log dialog(nullptr, QStringLiteral("done"));
        dialog.open();
        if (untick)
            byId<QCheckBox>(&dialog, 1183)->click();
        byId<QPushButton>(&dialog, button)->click();
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog.result() == QDialog::Accepted && dialog.openRequested(), open);
    }
};

QTEST_MAIN(TestOpenExportLog)
#include "test_openexportlog.moc"
