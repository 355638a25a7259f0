#pragma once

#include <QDialog>

#include <functional>

class CColorStatic;
class CMyListCtrl;
class CMy_Sel_All_Edit;
class CSpecialEdit;
class MessageCounter;
class QLabel;
class QRadioButton;
class QStandardItemModel;
class RecipientListModel;

// "Apply message to list items": copies the composer text into all, the
// selected, or the blank rows.
class CFill_Msg_In_List : public QDialog
{
    Q_OBJECT

public:
    CFill_Msg_In_List(QWidget* parent, RecipientListModel* model, CMyListCtrl* list, const QString& composerText);

    int choice() const;
    void setChoice(int choice);

public slots:
    void accept() override;

private:
    RecipientListModel* m_model;
    CMyListCtrl* m_list;
    QString m_text;
    QRadioButton* m_all;
    QRadioButton* m_selected;
    QRadioButton* m_blank;
};

// "Update": edits the number and message of one row.
class CUpdate_Num_Message : public QDialog
{
    Q_OBJECT

public:
    CUpdate_Num_Message(QWidget* parent, int row, const QString& number, const QString& message, const QString& mode);

    QString number() const;
    QString message() const;

    // What the dialog needs to know of the main window.
    bool skipDuplicates = false;
    bool useExclusion = false;
    std::function<bool(const QString& number, int exceptRow)> isListedElsewhere;
    std::function<bool(const QString& number)> isExcluded;

public slots:
    void accept() override;

private:
    int m_row;
    QString m_numberBefore;
    QString m_mode;
    CSpecialEdit* m_number;
    CMy_Sel_All_Edit* m_message;
    QLabel* m_counterLabel;
    MessageCounter* m_counter;
};

// "Update Selected Messages": one message for every selected row.
class CUpdate_Selected_Item_SMS : public QDialog
{
    Q_OBJECT

public:
    CUpdate_Selected_Item_SMS(QWidget* parent, RecipientListModel* model, CMyListCtrl* list);

    int selectedCount() const;
    void setMessage(const QString& message);

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadSelectedNumbers();

    RecipientListModel* m_model;
    CMyListCtrl* m_mainList;
    CMyListCtrl* m_list;
    QStandardItemModel* m_numbers;
    QLabel* m_total;
    CMy_Sel_All_Edit* m_message;
    QLabel* m_counterLabel;
    MessageCounter* m_counter;
    bool m_loaded = false;
};
