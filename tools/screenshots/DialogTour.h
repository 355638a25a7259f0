#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every dialog and message box of the program, built with sample content and
// handed in turn to a visitor while shown and laid out. The data folder must
// already point at a scratch folder (VEVA_SMS_APP_DIR); scratch holds the
// sample workbook.
using DialogVisitor = std::function<void(QWidget* dialog, const QString& name)>;
void tourDialogs(const QString& scratch, const DialogVisitor& visit);
