#pragma once

#include <QDialog>

class QLabel;

// "Information": the long-message warning of the message counters (limit 160
// or 70), or a notice with the caller's text (limit 0). OK and Escape accept;
// only the close box cancels.
class CLong_SMS_Dlg : public QDialog
{
    Q_OBJECT

public:
    explicit CLong_SMS_Dlg(QWidget* parent = nullptr, int limit = 160, const QString& text = {});

    static QString textFor(int limit, const QString& callerText);
    QString shownText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_text = nullptr;
};
