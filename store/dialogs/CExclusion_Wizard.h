#pragma once

#include "FirstShowLoad.h"

#include <QDialog>

#include <functional>

class CMyListCtrl;
class CSpecialEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TextListModel;

// "Update Exclusion Number": edits one number of the list being edited.
class CUpdate_Ex_Num : public QDialog
{
    Q_OBJECT

public:
    CUpdate_Ex_Num(QWidget* parent, const QString& oldNumber, int row, const TextListModel* numbers);

    QString number() const { return m_number; }
    int row() const;

public slots:
    void accept() override;

private:
    const TextListModel* m_numbers;
    CSpecialEdit* m_edit;
    QLineEdit* m_old;
    QLineEdit* m_row;
    QString m_number;
};

// "Exclusion List Wizard": creates, edits, deletes and applies the exclusion
// lists. Changes reach the files only through "Save Applied", "Delete" and
// "Finish"; after each, the main window reloads its exclusion numbers.
class CExclusion_Wizard : public QDialog
{
    Q_OBJECT

public:
    enum class Page
    {
        List,
        Name,
        Numbers
    };

    explicit CExclusion_Wizard(QWidget* parent);
    ~CExclusion_Wizard() override;

    // Rebuilds the main window's exclusion numbers from the files.
    std::function<void()> onListsChanged;

    Page page() const { return m_page; }
    bool isBusy() const { return m_wait.active(); }
    bool isOpened() const { return m_firstLoad.isDone(); }
    bool numbersChanged() const { return m_numbersChanged; }
    TextListModel* availableLists() const { return m_available; }
    TextListModel* listsInUse() const { return m_inUse; }
    TextListModel* numbers() const { return m_numbers; }

public slots:
    void OnAdd();
    void OnAddAll();
    void OnRemove();
    void OnRemoveAll();
    void OnSaveApplied();
    void OnDelete();
    void OnAddNew();
    void OnUpdate(CMyListCtrl* view);
    void OnNext();
    void OnBack();
    void OnBrowse();
    void OnLoad();
    void OnAddNumber();
    void OnUpdateNumber();
    void OnRemoveNumber();
    void OnFinish();
    void OnCancel();
    void reject() override;
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildListPage();
    QWidget* buildNamePage();
    QWidget* buildNumbersPage();
    void openLists();
    void showPage(Page page);
    void showNumbersPage(const QString& name);
    // The selected rows of the available lists, or none after saying what is missing.
    QList<int> selectedAvailableRows();
    void resetSteps();
    void clearEdits();
    void updateNumberCount();
    void listsChanged();
    void readNumbersOf(const QString& name);
    void loadFinished(int outcome, const QStringList& added, int countBefore);

    TextListModel* m_available;
    TextListModel* m_inUse;
    TextListModel* m_numbers;
    CMyListCtrl* m_availableList = nullptr;
    CMyListCtrl* m_inUseList = nullptr;
    CMyListCtrl* m_numberList = nullptr;
    QGroupBox* m_info = nullptr;
    QLabel* m_infoText = nullptr;
    QWidget* m_listPage = nullptr;
    QWidget* m_namePage = nullptr;
    QWidget* m_numbersPage = nullptr;
    QLineEdit* m_name = nullptr;
    QLabel* m_current = nullptr;
    QLineEdit* m_path = nullptr;
    CSpecialEdit* m_number = nullptr;
    QLabel* m_total = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_finish = nullptr;
    QPushButton* m_wizardCancel = nullptr;
    DialogWorker* m_worker;
    DialogParts::WaitState m_wait;
    DialogParts::FirstShowLoad m_firstLoad;

    Page m_page = Page::List;
    int m_addStep = 0;  // 1 on the name page of a new list, 2 on its numbers page
    int m_editStep = 0; // 3 on the numbers page of an existing list
    bool m_numbersChanged = false;
};
