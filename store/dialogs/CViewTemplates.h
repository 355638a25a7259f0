#pragma once

#include "FirstShowLoad.h"

#include <QDialog>

class CMyListCtrl;
class CMy_Sel_All_Edit;
class QLabel;
class QLineEdit;
class QPushButton;
class TemplateListModel;

// "Add Template" / "Update Template": edits the text of one template.
class CUpdateTemp : public QDialog
{
    Q_OBJECT

public:
    // An empty old text adds a template; otherwise it is the text being updated.
    CUpdateTemp(QWidget* parent, const TemplateListModel* templates, const QString& initialText,
                const QString& oldText);

    // The text as entered (untrimmed), once the dialog ended with its OK button.
    QString text() const { return m_text; }
    CMy_Sel_All_Edit* editor() const { return m_edit; }

public slots:
    void accept() override;

private:
    void updateLength();

    const TemplateListModel* m_templates;
    CMy_Sel_All_Edit* m_edit;
    QLabel* m_length;
    QLineEdit* m_old;
    QString m_text;
};

// "Templates": lists the saved message texts, adds, updates and deletes them,
// and puts the chosen one into the message composer.
class CViewTemplates : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxComposerLength = 1600;

    CViewTemplates(QWidget* parent, CMy_Sel_All_Edit* composer);
    ~CViewTemplates() override;

    TemplateListModel* model() const { return m_model; }
    CMyListCtrl* list() const { return m_list; }
    // True while the file is read or rewritten behind the wait window.
    bool isBusy() const { return m_wait.active(); }
    bool isLoaded() const { return m_firstLoad.isDone(); }

public slots:
    void OnAddNew();
    void OnUpdate();
    void OnClearSelected();
    void OnClearAll();
    void OnUseTemplate();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load();
    void updateCount();
    // Writes every row to the file, then calls `then` with whether it was saved.
    void rewrite(std::function<void(bool saved)> then);
    void closeWithSave(int result);
    void saveFailed(const QString& why);

    CMy_Sel_All_Edit* m_composer;
    TemplateListModel* m_model;
    CMyListCtrl* m_list;
    QLabel* m_total;
    DialogWorker* m_worker;
    DialogParts::WaitState m_wait;
    DialogParts::FirstShowLoad m_firstLoad;
    bool m_fileRead = false;       // the file was read when the dialog opened
    bool m_pendingRewrite = false; // a change did not reach the file yet
    bool m_closing = false;
};
