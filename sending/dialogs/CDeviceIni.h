#pragma once

#include <QDialog>

class QLabel;

// "Initializing Device Please wait... ", shown while the device routine connects.
class CDeviceIni : public QDialog
{
    Q_OBJECT

public:
    explicit CDeviceIni(QWidget* owner);
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_label = nullptr;
};
