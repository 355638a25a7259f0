#pragma once

#include "FirstShowLoad.h"

#include <QDialog>

class CMyListCtrl;
class QLabel;
class QTextEdit;
class SentItemsModel;

// "Sent Item(s)": the log of sent messages, to read, prune and export. The
// rows are the working copy; the file is rewritten from them.
class CSent_Items : public QDialog
{
    Q_OBJECT

public:
    explicit CSent_Items(QWidget* parent);
    ~CSent_Items() override;

    SentItemsModel* model() const { return m_model; }
    CMyListCtrl* list() const { return m_list; }
    QString detailsText() const;
    bool isBusy() const { return m_wait.active(); }
    bool isLoaded() const { return m_firstLoad.isDone(); }

    // "Number\t:  ...", the details of one row.
    static QString DetailsText(const QString& number, const QString& message, const QString& date);

public slots:
    void OnClearSelected();
    void OnClearAll();
    void OnExport();
    void reject() override;
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void load();
    void updateCount();
    void refreshDetails();
    void showDetails(const QString& text);
    void saveAndClose();

    SentItemsModel* m_model;
    CMyListCtrl* m_list;
    QLabel* m_total;
    QTextEdit* m_details;
    DialogWorker* m_worker;
    DialogParts::WaitState m_wait;
    DialogParts::FirstShowLoad m_firstLoad;
    bool m_fileRead = false; // the file was read when the dialog opened
    bool m_changed = false;  // rows were deleted since the file was last written
    bool m_closing = false;
};
