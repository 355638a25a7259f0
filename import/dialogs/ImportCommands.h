#pragma once

#include "app/core/NumberRules.h"
#include "app/core/RecipientListModel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>

class CAddSentItem;
class CommandHost;
class QThread;
class QTimer;
class QWidget;

// The main window's import commands. "Load Contacts From File" asks its
// question on the GUI thread and reads the file on a worker; rows come back to
// the list in blocks through the GUI thread, at the top in file order.
class ImportCommands : public QObject
{
    Q_OBJECT

public:
    explicit ImportCommands(CommandHost* host);
    ~ImportCommands() override;

    void OnLoadContactsFromFile();
    // The main window's "Send unique or personalized SMS to every Contact using Excel".
    void OnDynamicMessages();
    bool isImporting() const { return m_worker != nullptr; }

    static const QString kContactsFilter;

signals:
    void importFinished();

private:
    struct Run;
    void LoadContactsWorker(Run& run);
    void ReadTextContacts(Run& run, const QString& path);
    void ReadExcelContacts(Run& run, const QString& path);

    // Hands the accepted numbers to the list as a block (when `force`, or once a block is due).
    void post(Run& run, bool force);
    // Every end of a read: the last rows, the list's new number index, then the window back.
    // `notice`: said after the import, once its rows are in the list.
    void finish(Run& run, bool reportNoRows, const QString& notice = {});

    // GUI-thread steps the worker asks for.
    void beginReading();
    void insertRows(int position, const QList<RecipientListModel::Row>& rows);
    void adoptIndex(NumberIndex index);
    void endImport(bool showNoRowsWhenNothingAdded, int added, const QString& notice = {});
    void onImportTimer();

    CommandHost* m_host;
    QPointer<QWidget> m_window; // the host's window: the host lives as long as it
    CAddSentItem* m_wait = nullptr;
    QTimer* m_importTimer = nullptr;
    QThread* m_worker = nullptr;
    bool m_clearPending = false;
    QString m_message;
};
