#pragma once

#include <QDialog>

class QRadioButton;

// Asked before a send when the composer text was changed but not applied to
// the list: apply it to all rows or the blank ones, go on without it, or stop.
class CSend_Msg_Info : public QDialog
{
    Q_OBJECT

public:
    static constexpr int Yes = 1;            // apply as chosen, then send
    static constexpr int ContinueAnyway = 2; // send without applying
    static constexpr int Cancelled = 0;      // Cancel or the close box: do not send

    explicit CSend_Msg_Info(QWidget* parent = nullptr);

    // 0: all list items, 1: only blank list items.
    int choice() const;
    void setChoice(int choice);

public slots:
    void reject() override;

private:
    QRadioButton* m_all = nullptr;
    QRadioButton* m_blank = nullptr;
};
