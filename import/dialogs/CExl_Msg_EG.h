#pragma once

#include <QDialog>

// "Example of personalized Dynamic Message": a school's result message as a
// template with placeholders, and the same message filled in for one parent.
class CExl_Msg_EG : public QDialog
{
    Q_OBJECT

public:
    explicit CExl_Msg_EG(QWidget* parent);

    static QString exampleTemplate();
    static QString filledExample();
};
