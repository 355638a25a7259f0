#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// The wizard's reading window: totals, the row being read with its number
// and message, a per-row bar and an activity bar. Modeless, without caption;
// only its owner hides it. All calls belong on the GUI thread.
class CLoad_Xl_SMS_Modeless : public QDialog
{
    Q_OBJECT

public:
    explicit CLoad_Xl_SMS_Modeless(QWidget* owner);

    // The texts and bars for a read of `total` rows.
    void start(int total);
    // Row `row` (from 1) of `total`: the number (or the raw text when it was
    // refused) and the message.
    void showRow(int row, int total, const QString& number, const QString& message);
    void stepActivity();

    QString text(int id) const;
    int rowBarValue() const;
    int rowBarMaximum() const;
    int activityValue() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    QLabel* label(int id) const;
    void setLabel(int id, const QString& text);

    QProgressBar* m_rows = nullptr;
    QProgressBar* m_activity = nullptr;
};
