#include "CModeless.h"

#include "app/controls/KeepAbove.h"
#include "app/controls/Theme.h"
#include "app/core/AppState.h"
#include "app/controls/WaitDialogs.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString kNotice = QStringLiteral(
    "It may take a while, Please wait...\n\nPlease do not operate your mobile device while message sending process is "
    "going on. Operating the mobile device functions during the messaging process may interrupt the execution and may "
    "result errors in process.");

// Fixed captions are named by their text anyway; changing lines get their role as description.
QLabel* staticText(QWidget* parent, int id, const QString& text, const QString& role = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::number(id));
    Theme::speakText(label, role);
    return label;
}

QProgressBar* progressBar(QWidget* parent, int id, const QString& accessibleName)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::number(id));
    bar->setAccessibleName(accessibleName);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

} // namespace

CModeless::CModeless(QWidget* owner) : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("129"));
    setModal(false);
    Theme::applyDialogLook(this);

    auto* totalLabel = staticText(this, 1062, QStringLiteral("Total message to send :"));
    totalLabel->setFont(Theme::headingFont());
    m_total = staticText(this, 1063, QStringLiteral("Static"), QStringLiteral("Total messages"));
    m_total->setFont(Theme::headingFont());
    m_counter = staticText(this, 1064, QStringLiteral("0"), QStringLiteral("Message counter"));
    m_counter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_overall = progressBar(this, 1041, QStringLiteral("Overall progress"));
    m_strStatus = QStringLiteral("Wait");
    m_status = staticText(this, 1007, m_strStatus, QStringLiteral("Status"));
    m_activity = progressBar(this, 1065, QStringLiteral("Activity"));
    m_pause = staticText(this, 1079, QStringLiteral("Static"), QStringLiteral("Pause"));
    m_pause->setFont(Theme::headingFont());
    m_pause->setStyleSheet(QStringLiteral("color: %1").arg(Theme::alertColor().name()));
    // The line keeps its room while hidden, so a pause does not resize the window.
    QSizePolicy keepRoom = m_pause->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    m_pause->setSizePolicy(keepRoom);
    m_pause->hide();
    auto* notice = staticText(this, 1066, kNotice);
    notice->setWordWrap(true);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("1067"));
    m_stop->setAccessibleName(QStringLiteral("Stop"));
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, this, &CModeless::stopRequested);

    auto* top = new QGridLayout;
    top->addWidget(totalLabel, 0, 0);
    top->addWidget(m_total, 0, 1);
    top->addWidget(m_counter, 0, 2);
    top->setColumnStretch(1, 1);
    auto* stopRow = new QHBoxLayout;
    stopRow->addStretch();
    stopRow->addWidget(m_stop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->addLayout(top);
    layout->addWidget(m_overall);
    layout->addSpacing(6);
    layout->addWidget(m_status);
    layout->addWidget(m_activity);
    layout->addWidget(m_pause);
    // The lanes' lines; past a screenful they scroll, so Stop stays on the screen.
    m_laneArea = new QScrollArea(this);
    m_laneArea->setObjectName(QStringLiteral("Lanes"));
    m_laneArea->setFrameShape(QFrame::NoFrame);
    m_laneArea->setWidgetResizable(true);
    m_laneArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_laneArea->setFocusPolicy(Qt::NoFocus);
    auto* laneLines = new QWidget(m_laneArea);
    laneLines->setAutoFillBackground(false);
    m_laneBox = new QVBoxLayout(laneLines);
    m_laneBox->setContentsMargins(0, 0, 0, 0);
    m_laneBox->setSpacing(2);
    m_laneBox->addStretch();
    m_laneArea->setWidget(laneLines);
    m_laneArea->viewport()->setAutoFillBackground(false);
    m_laneArea->hide();
    layout->addWidget(m_laneArea);
    layout->addSpacing(6);
    layout->addWidget(notice);
    layout->addLayout(stopRow);
    setFixedSize(440, layout->totalHeightForWidth(440));

    keepAboveOwner(this, owner);
    centreOver(this, owner ? owner->window() : nullptr);
    g_bStopRequested = false;
}

void CModeless::setupRun(int total, const QString& firstNumber)
{
    m_overall->setRange(0, total);
    m_overall->setValue(0);
    m_activity->setRange(0, ActivityMaximum);
    m_total->setText(QString::number(total));
    m_counter->setText(QStringLiteral("1/%1 Message").arg(total));
    setStatusLine(QStringLiteral("Currently sending to : ") + firstNumber);
}

void CModeless::showRow(int row, int total, const QString& number)
{
    // One step a row; set from the row itself, so the bar always matches the counter.
    m_overall->setValue(qBound(0, row + 1, m_overall->maximum()));
    m_activity->setValue(ActivityMaximum);
    m_counter->setText(QStringLiteral("%1/%2 Message").arg(row + 1).arg(total));
    setStatusLine(QStringLiteral("Currently sending to : ") + number);
}

void CModeless::setStatusLine(const QString& text)
{
    m_strStatus = text;
    m_status->setText(text);
}

void CModeless::stepActivity()
{
    const int next = m_activity->value() + ActivityStep;
    m_activity->setValue(next > ActivityMaximum ? 0 : next);
    m_pause->clear();
}

void CModeless::setActivity(int value)
{
    m_activity->setValue(value);
}

void CModeless::setPauseLineVisible(bool visible)
{
    m_pause->setVisible(visible);
}

void CModeless::setPauseText(const QString& text)
{
    m_pause->setText(text);
}

void CModeless::setupLanes(const QStringList& names)
{
    qDeleteAll(m_lanes);
    m_lanes.clear();
    m_laneNames = names;
    for (int i = 0; i < names.size(); ++i) {
        auto* line = staticText(this, 1100 + i, names.at(i) + QStringLiteral(": Waiting"), QStringLiteral("Lane"));
        line->setObjectName(QStringLiteral("Lane%1").arg(i));
        line->setWordWrap(true); // a lost modem's reason may be long
        m_laneBox->insertWidget(m_laneBox->count() - 1, line);
        m_lanes.append(line);
    }
    fitLanes();
}

void CModeless::fitLanes()
{
    m_laneArea->setVisible(!m_lanes.isEmpty());
    if (!m_lanes.isEmpty()) {
        const QMargins margins = layout()->contentsMargins();
        const int width = 440 - margins.left() - margins.right();
        const int lines = m_laneBox->totalHeightForWidth(width);
        const int most = fontMetrics().lineSpacing() * kMostLaneLines + m_laneBox->spacing() * (kMostLaneLines - 1);
        // A scroll bar takes its width from the lines it scrolls.
        const int scrolled = m_laneBox->totalHeightForWidth(width - style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        m_laneArea->setFixedHeight(lines <= most ? lines : std::min(scrolled, most));
    }
    const int height = layout()->totalHeightForWidth(440);
    if (height != this->height() || width() != 440)
        setFixedSize(440, height);
}

void CModeless::setLaneText(int lane, const QString& text)
{
    if (lane < 0 || lane >= m_lanes.size())
        return;
    m_lanes.at(lane)->setText(m_laneNames.at(lane) + QStringLiteral(": ") + text);
    // The window grows by the lines a wrapped text takes, up to the lines it shows at most.
    fitLanes();
}

QString CModeless::laneText(int lane) const
{
    return lane >= 0 && lane < m_lanes.size() ? m_lanes.at(lane)->text() : QString();
}

void CModeless::finish()
{
    m_finishing = true;
    QDialog::reject();
    m_finishing = false;
}

QString CModeless::totalText() const
{
    return m_total->text();
}

QString CModeless::counterText() const
{
    return m_counter->text();
}

QString CModeless::pauseText() const
{
    return m_pause->text();
}

bool CModeless::isPauseLineVisible() const
{
    return m_pause->isVisibleTo(this);
}

int CModeless::overallValue() const
{
    return m_overall->value();
}

int CModeless::overallMaximum() const
{
    return m_overall->maximum();
}

int CModeless::activityValue() const
{
    return m_activity->value();
}

void CModeless::reject()
{
    // Escape and the close box end up here; a run is only ended through Stop.
    if (m_finishing)
        QDialog::reject();
}

void CModeless::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
