#pragma once

#include "app/core/RecipientListModel.h"
#include "import/ContactImport.h"

#include <QDialog>
#include <QPointer>

#include <atomic>
#include <functional>

class CommandHost;
class CLoad_Xl_SMS_Modeless;
class CPlease_Wail_Modeless;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QThread;
class QTimer;

// The wizard's current page (1, 2 or 3).
extern std::atomic<int> g_nWizardPage;

// "Dynamic Message Import Wizard": numbers with their messages, or one
// personalised message per row from "<COL-n>" placeholders, read from the
// first sheet of a workbook. Each step reads on a worker thread of its own;
// rows reach the list in blocks through the GUI thread. Show it with run():
// the wizard hides while its reading window is up, which would end exec().
class CDynamic_Excel_Msg : public QDialog
{
    Q_OBJECT

public:
    enum { Imported = 2 };

    // What the wizard needs of the window it fills.
    struct Host
    {
        std::function<ContactImport::RowStep()> newRowStep; // the number rules against the list as it is
        std::function<void(int position, const QList<RecipientListModel::Row>& rows)> insertRows;
        // The list's number index after the rows went in (see RecipientListModel::adoptIndex).
        std::function<void(NumberIndex index)> adoptIndex;
        std::function<void(bool running)> importTimer; // the main window's counter refresh
    };

    CDynamic_Excel_Msg(CommandHost* main, Host host);
    ~CDynamic_Excel_Msg() override;

    int m_nMode = 0; // 0 numbers and messages, 1 dynamic messages
    QString m_strFilePath;
    QString m_strTemplate;

    // Shows the wizard window-modal and returns its result once it has ended.
    int run();
    bool isWorking() const { return m_thread != nullptr; }
    CLoad_Xl_SMS_Modeless* progressWindow() const;
    CPlease_Wail_Modeless* waitWindow() const;

    void InsertPlaceholder(bool fromButton);

public slots:
    void reject() override;

signals:
    void stepFinished(); // for tests: a worker step has ended

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Rows;
    void onOk();
    void onBack();
    void onBrowse();
    void showPage(int page);
    void stopTimers();
    void runStep(std::function<int()> step, std::function<void(int)> done);

    // Worker-thread steps; each returns 1 for success and 0 otherwise.
    int ReadColumnHeaders();
    int ImportNumbersAndMessages();
    int ComposeDynamicMessages();
    int readRows(bool dynamic);

    CommandHost* m_commandHost;
    QPointer<QWidget> m_main; // the host's window: the host lives as long as it
    Host m_host;
    QPointer<CLoad_Xl_SMS_Modeless> m_pProgressWnd;
    QPointer<CPlease_Wail_Modeless> m_pWaitWnd;
    QTimer* m_activityTimer = nullptr;
    QThread* m_thread = nullptr;

    QRadioButton* m_importMode = nullptr;
    QRadioButton* m_dynamicMode = nullptr;
    QLineEdit* m_path = nullptr;
    QTableWidget* m_columns = nullptr;
    QPlainTextEdit* m_template = nullptr;
    QLabel* m_browseText = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_back = nullptr;
    QList<QWidget*> m_page1, m_page2, m_page3;
    QWidget* m_example3 = nullptr;
};
