#pragma once

#include <QDialog>

// Advice shown at start-up when User Account Control is on: it may keep the
// handset from being detected.
class CVistaMessage : public QDialog
{
    Q_OBJECT

public:
    explicit CVistaMessage(QWidget* parent = nullptr);
};
