#pragma once

#include "device/serial/SMSSerialPort.h"

#include <QDialog>

#include <memory>

class CMyListCtrl;
class PortScan;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QThread;
class QTimer;

// "Mobile Phone Connection Wizard": scans the COM ports on a thread of its own,
// lists what answers, and on selection asks the chosen device for its
// manufacturer and model. OK with a working device marks it selected in the
// shared state; Cancel marks none.
class CConnection : public QDialog
{
    Q_OBJECT

public:
    enum Column
    {
        PortColumn,
        DetailsColumn,
        StatusColumn
    };

    explicit CConnection(QWidget* parent = nullptr);
    ~CConnection() override;

    // Clears the list and scans again ("Connection" does the same).
    void startScan();
    bool isScanning() const { return m_scanning; }
    // The scan thread is parked between ports while Stop asks for confirmation.
    bool isScanHeld() const;
    bool isQuerying() const { return m_querying; }

    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onStop();
    void onScanFinished();
    void endScanThread();
    void restoreAfterScan();
    void fitColumns();
    void onSelectionChanged();
    void selectRow(int row);
    void startQuery(int number);
    void onQueryDone(int generation, bool ok, const CSMSSerialPort::DeviceIdentity& identity, const QString& error,
                     bool sendsSms);
    void clearDetails();
    QString cell(int row, Column column) const;

    CMyListCtrl* m_list = nullptr;
    QStandardItemModel* m_rows = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_connection = nullptr;
    QPushButton* m_ok = nullptr;
    QLineEdit* m_com = nullptr;
    QLineEdit* m_details = nullptr;
    QLineEdit* m_manufacturer = nullptr;
    QLineEdit* m_model = nullptr;
    QLineEdit* m_pin = nullptr;
    // Offered when the selected port's modem takes PDU mode: send through it
    // instead of the device service's handset.
    QCheckBox* m_viaModem = nullptr;
    // Every port whose modem took PDU mode in this scan; the ticked ones send,
    // the first of them alone when only one device is used.
    QListWidget* m_modems = nullptr;
    int m_shownModemPort = 0; // the port m_viaModem stands for; 0 for none
    QListWidgetItem* modemItem(int port) const;
    void offerModem(int port, const QString& manufacturer, const QString& model);

    int m_selectedRow = -1;
    QString m_modelText;
    QString m_manufacturerText;
    bool m_sendsSms = false;
    bool m_scanDone = false;

    std::shared_ptr<PortScan> m_scan;
    std::unique_ptr<QThread> m_scanThread;
    bool m_scanning = false;
    bool m_asking = false;
    QTimer* m_cancelRepeater = nullptr;

    std::shared_ptr<CSMSSerialPort> m_queryPort;
    std::unique_ptr<QThread> m_queryThread;
    int m_queryGeneration = 0;
    bool m_listHadFocus = false; // while a selected port answers
    bool m_querying = false;
};
