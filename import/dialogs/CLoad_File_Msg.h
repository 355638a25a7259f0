#pragma once

#include <QDialog>

// "Information": clear the list or append to it, asked before an import into a
// list that already holds rows.
class CLoad_File_Msg : public QDialog
{
    Q_OBJECT

public:
    enum Answer { Cancelled = 0, ClearList = 1, Append = 2 };

    explicit CLoad_File_Msg(QWidget* parent);

    // Asks when the list holds rows; an empty list appends without a question.
    static Answer ask(QWidget* parent, int rowCount);

protected:
    void reject() override;
};
