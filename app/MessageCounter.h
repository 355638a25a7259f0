#pragma once

#include <QObject>

class CMy_Sel_All_Edit;
class QLabel;

// Keeps a counter label in step with a message edit: "%d Characters", and the
// long-message warning the first time the text crosses the SMS length. Its
// tooltip tells how the text goes out through a GSM modem.
class MessageCounter : public QObject
{
    Q_OBJECT

public:
    MessageCounter(CMy_Sel_All_Edit* edit, QLabel* counter, QObject* parent = nullptr);

    // Shows the count for the edit's text at once, without the warning.
    void showWithoutWarning();
    // Runs the counter rules for the current text (called on every change).
    void update();

private:
    CMy_Sel_All_Edit* m_edit;
    QLabel* m_counter;
    bool m_inWarning = false;
};
