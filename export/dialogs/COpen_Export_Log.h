#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

// "Message" after an export: says it succeeded and offers to open the file.
class COpen_Export_Log : public QDialog
{
    Q_OBJECT

public:
    explicit COpen_Export_Log(QWidget* parent, const QString& text = QString());

    // The state of "Open exported file." when the dialog was closed with OK.
    bool openRequested() const { return m_open; }

public slots:
    void accept() override;

private:
    QCheckBox* m_check = nullptr;
    bool m_open = true;
};
