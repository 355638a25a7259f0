#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// The sending-progress window of a send run: totals, the row being sent, an
// overall bar, an activity bar the main window steps every 50 ms, the delivery
// pause line and Stop. Modeless and without caption; Escape and the close box
// do not close it, only finish() does. All calls belong on the GUI thread.
class CModeless : public QDialog
{
    Q_OBJECT

public:
    static constexpr int ActivityStep = 5;
    static constexpr int ActivityMaximum = 100;

    // The owner is the window it stays above; the creator deletes the dialog.
    explicit CModeless(QWidget* owner);

    // Bars and texts at the start of a run of `total` rows.
    void setupRun(int total, const QString& firstNumber);
    // Row `row` (from 0) of `total` is being sent to `number`.
    void showRow(int row, int total, const QString& number);
    void setStatusLine(const QString& text);
    // One tick of the activity timer: steps the activity bar, wrapping after
    // it is full, and empties the pause line.
    void stepActivity();
    void setActivity(int value);
    void setPauseLineVisible(bool visible);
    void setPauseText(const QString& text);
    // A run with several lanes (modems): one line for each under the total, named by its text.
    void setupLanes(const QStringList& names);
    void setLaneText(int lane, const QString& text);
    QString laneText(int lane) const;
    int laneCount() const { return int(m_lanes.size()); }
    // Closes the window; the only way it closes.
    void finish();

    QString totalText() const;
    QString counterText() const;
    QString statusLine() const { return m_strStatus; }
    QString pauseText() const;
    bool isPauseLineVisible() const;
    int overallValue() const;
    int overallMaximum() const;
    int activityValue() const;

signals:
    // Stop was pressed; the owner holds the run and asks for confirmation.
    void stopRequested();

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Lines the lanes take before they scroll.
    static constexpr int kMostLaneLines = 12;
    void fitLanes();

    QString m_strStatus; // text of the status line 1007
    QLabel* m_total = nullptr;
    QLabel* m_counter = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_pause = nullptr;
    QProgressBar* m_overall = nullptr;
    QProgressBar* m_activity = nullptr;
    QPushButton* m_stop = nullptr;
    QScrollArea* m_laneArea = nullptr;
    QVBoxLayout* m_laneBox = nullptr;
    QList<QLabel*> m_lanes;
    QStringList m_laneNames;
    bool m_finishing = false;
};
