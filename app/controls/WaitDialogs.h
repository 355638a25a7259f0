#pragma once

#include <QDialog>

class QLabel;

// Small modeless "please wait" windows shown in front of long work.

// Borderless, centred on the dialog that shows it; Enter and Escape do nothing.
class CAddSentItem : public QDialog
{
    Q_OBJECT

public:
    explicit CAddSentItem(QWidget* owner);
    // Shows the window centred on its owner and brings it to the front.
    void showCentred();
    void setText(const QString& text);
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_label = nullptr;
};

// A wait window whose text the creator sets before showing it.
class CPlease_Wail_Modeless : public QDialog
{
    Q_OBJECT

public:
    explicit CPlease_Wail_Modeless(QWidget* owner);

    QString m_strText = QStringLiteral("It may take a while, Please wait...");
    void showCentred();
    QString shownText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_label = nullptr;
};

void centreOver(QWidget* window, QWidget* owner);
