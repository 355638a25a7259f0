#pragma once

#include <QDialog>

// "About Ulmex Veva SMS - BlackBerry Mobile Phones".
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
