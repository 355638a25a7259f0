#include "CLoad_Xl_SMS_Modeless.h"

#include "app/controls/Theme.h"
#include "import/DynamicMessages.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

QString readingText(int row, int total)
{
    return QStringLiteral("Currently Reading : %1 / %2 Records").arg(row).arg(total);
}

} // namespace

CLoad_Xl_SMS_Modeless::CLoad_Xl_SMS_Modeless(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("206"));
    setModal(false);
    Theme::applyDialogLook(this);
    setStyleSheet(QStringLiteral("QDialog#206 { border: 1px solid #7f9cc9; }"));

    auto make = [this](int id, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::number(id));
        l->setAccessibleName(text);
        return l;
    };
    QLabel* total = make(1058, QStringLiteral("Total Records : 0"));
    total->setFont(Theme::headingFont());
    m_rows = new QProgressBar(this);
    m_rows->setObjectName(QStringLiteral("1065"));
    m_rows->setTextVisible(false);
    m_rows->setRange(0, 1);
    m_rows->setValue(0);
    m_rows->setAccessibleName(QStringLiteral("Records read"));
    QLabel* counter = make(1167, QStringLiteral("0/0 Records"));
    QLabel* numberCaption = make(1073, QStringLiteral("Number  :"));
    QLabel* number = make(1057, QStringLiteral("Reading Excel Sheet"));
    QLabel* messageCaption = make(1111, QStringLiteral("Message :"));
    QLabel* message = make(1059, QStringLiteral("Reading Excel Sheet"));
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    message->setMinimumHeight(48);
    for (QLabel* caption : {numberCaption, messageCaption})
        caption->setFont(Theme::headingFont());
    m_activity = new QProgressBar(this);
    m_activity->setObjectName(QStringLiteral("1041"));
    m_activity->setTextVisible(false);
    m_activity->setRange(0, 100);
    m_activity->setAccessibleName(QStringLiteral("Working"));
    QLabel* wait = make(1071, QStringLiteral("It may take a while, Please wait..."));
    wait->setAlignment(Qt::AlignCenter);

    auto* details = new QGridLayout;
    details->addWidget(numberCaption, 0, 0, Qt::AlignTop);
    details->addWidget(number, 0, 1);
    details->addWidget(messageCaption, 1, 0, Qt::AlignTop);
    details->addWidget(message, 1, 1);
    details->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addWidget(total);
    layout->addWidget(m_rows);
    layout->addWidget(counter);
    layout->addSpacing(6);
    layout->addLayout(details);
    layout->addSpacing(6);
    layout->addWidget(m_activity);
    layout->addWidget(wait);
    setFixedSize(400, 250);
}

QLabel* CLoad_Xl_SMS_Modeless::label(int id) const
{
    return findChild<QLabel*>(QString::number(id));
}

void CLoad_Xl_SMS_Modeless::setLabel(int id, const QString& text)
{
    QLabel* l = label(id);
    l->setText(text);
    l->setAccessibleName(text);
}

QString CLoad_Xl_SMS_Modeless::text(int id) const
{
    return label(id)->text();
}

void CLoad_Xl_SMS_Modeless::start(int total)
{
    setLabel(1058, QStringLiteral("Total Records : %1").arg(total));
    setLabel(1167, readingText(0, total));
    setLabel(1057, QStringLiteral("Reading Excel Sheet"));
    setLabel(1059, QStringLiteral("Reading Excel Sheet"));
    setLabel(1071, QStringLiteral("It may take a while, Please wait..."));
    m_rows->setRange(0, qMax(total, 1));
    m_rows->setValue(0);
    m_rows->setAccessibleName(readingText(0, total));
}

void CLoad_Xl_SMS_Modeless::showRow(int row, int total, const QString& number, const QString& message)
{
    const QString reading = readingText(row, total);
    setLabel(1167, reading);
    m_rows->setValue(qMin(row, m_rows->maximum()));
    m_rows->setAccessibleName(reading);
    setLabel(1057, number);
    setLabel(1059, DynamicMessages::ProgressText(message));
}

void CLoad_Xl_SMS_Modeless::stepActivity()
{
    m_activity->setValue(m_activity->value() >= m_activity->maximum() ? 0 : m_activity->value() + 1);
}

int CLoad_Xl_SMS_Modeless::rowBarValue() const
{
    return m_rows->value();
}

int CLoad_Xl_SMS_Modeless::rowBarMaximum() const
{
    return m_rows->maximum();
}

int CLoad_Xl_SMS_Modeless::activityValue() const
{
    return m_activity->value();
}

void CLoad_Xl_SMS_Modeless::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLoad_Xl_SMS_Modeless::reject()
{
    // Only the wizard hides it.
}
