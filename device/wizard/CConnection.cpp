#include "CConnection.h"

#include "PortScan.h"
#include "app/controls/SupportLinks.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/Theme.h"
#include "app/core/AppState.h"
#include "device/modem/GsmModem.h"
#include "device/modem/ModemSelection.h"
#include "platform/serial/SerialPortList.h"

#include <utility>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kNotWorking = QStringLiteral("Selected device is not working properly.");
const QString kSelectedDevice = QStringLiteral("Selected Device");

QPushButton* makeButton(QWidget* parent, int id, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::number(id));
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* addField(QGridLayout* grid, QWidget* parent, int id, const QString& label, int row, int column)
{
    auto* l = new QLabel(label, parent);
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::number(id));
    e->setAccessibleName(label);
    e->setReadOnly(true);
    // A long value shows its beginning (the port's name), and whole in the tooltip.
    QObject::connect(e, &QLineEdit::textChanged, e, [e](const QString& text) {
        e->setCursorPosition(0);
        e->setToolTip(text);
    });
    l->setBuddy(e);
    grid->addWidget(l, row, column);
    grid->addWidget(e, row, column + 1);
    return e;
}

// Waits for a worker that was told to stop. A serial wait ends on a cancel,
// but a cancel sent between two waits is dropped, so it is repeated.
void joinCancelling(QThread* thread, const std::function<void()>& cancel)
{
    if (!thread)
        return;
    while (!thread->wait(20))
        cancel();
}

} // namespace

CConnection::CConnection(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("133"));
    setWindowTitle(QStringLiteral("Mobile Phone Connection Wizard"));
    Theme::applyDialogLook(this);

    const QString headlineText = QStringLiteral("Finding Mobile Phone Device connected to PC.");
    auto* headline = new QLabel(headlineText, this);
    headline->setObjectName(headlineText);
    headline->setFont(Theme::headingFont());
    headline->setAccessibleName(headlineText);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1041"));
    m_progress->setAccessibleName(headlineText);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_stop = makeButton(this, 1000, QStringLiteral("Stop"));
    connect(m_stop, &QPushButton::clicked, this, &CConnection::onStop);

    auto* portGroup = new QGroupBox(QStringLiteral("Com Port List"), this);
    portGroup->setObjectName(QStringLiteral("1048"));
    m_rows = new QStandardItemModel(0, 3, this);
    m_rows->setHorizontalHeaderLabels(
        {QStringLiteral("Com Port"), QStringLiteral("Com Port Details"), QStringLiteral("Com Port Status")});
    m_list = new CMyListCtrl(portGroup);
    m_list->setObjectName(QStringLiteral("1047"));
    m_list->setAccessibleName(QStringLiteral("Com Port List"));
    m_list->setModel(m_rows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->verticalHeader()->hide();
    m_list->setMinimumHeight(150);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CConnection::onSelectionChanged);
    auto* portLayout = new QVBoxLayout(portGroup);
    portLayout->addWidget(m_list);

    auto* detailGroup = new QGroupBox(QStringLiteral("Device Details"), this);
    detailGroup->setObjectName(QStringLiteral("1049"));
    auto* grid = new QGridLayout(detailGroup);
    m_com = addField(grid, detailGroup, 1068, QStringLiteral("COM :"), 0, 0);
    m_details = addField(grid, detailGroup, 1069, QStringLiteral("COM Port Details :"), 1, 0);
    m_pin = addField(grid, detailGroup, 1039, QStringLiteral("BlackBerry PIN :"), 2, 0);
    m_manufacturer = addField(grid, detailGroup, 1037, QStringLiteral("Manufacturer Name :"), 0, 2);
    m_model = addField(grid, detailGroup, 1038, QStringLiteral("Model Number :"), 1, 2);
    m_viaModem = new QCheckBox(QStringLiteral("Send SMS through this GSM modem"), detailGroup);
    m_viaModem->setObjectName(QStringLiteral("SendThroughModem"));
    m_viaModem->setAccessibleName(m_viaModem->text());
    m_viaModem->setEnabled(false);
    grid->addWidget(m_viaModem, 2, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setHorizontalSpacing(10);
    connect(m_viaModem, &QCheckBox::toggled, this, [this](bool checked) {
        if (QListWidgetItem* item = modemItem(m_shownModemPort))
            item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    });
    auto* hidden = new QLineEdit(detailGroup);
    hidden->setObjectName(QStringLiteral("1040"));
    hidden->hide();

    auto* help =
        CColorStatic::makeLink(QStringLiteral("Need help? Click here to contact us."), QStringLiteral("1070"), this);
    connect(help, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });

    const QString modemsCaption = QStringLiteral("Send SMS through these GSM modems");
    auto* modemsLabel = new QLabel(QStringLiteral("Send SMS through &these GSM modems"), this);
    m_modems = new QListWidget(this);
    m_modems->setObjectName(QStringLiteral("SendThroughModems"));
    m_modems->setAccessibleName(modemsCaption);
    m_modems->setMaximumHeight(80);
    modemsLabel->setBuddy(m_modems);
    // Tab goes from the port's own box to the list of all modems, then on to the link and the buttons.
    QWidget::setTabOrder(m_viaModem, m_modems);
    connect(m_modems, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (item == modemItem(m_shownModemPort)) {
            const QSignalBlocker block(m_viaModem);
            m_viaModem->setChecked(item->checkState() == Qt::Checked);
        }
    });

    m_connection = makeButton(this, 1036, QStringLiteral("Connection"));
    m_ok = makeButton(this, 1, QStringLiteral("OK"));
    auto* cancel = makeButton(this, 2, QStringLiteral("Cancel"));
    connect(m_connection, &QPushButton::clicked, this, &CConnection::startScan);
    connect(m_ok, &QPushButton::clicked, this, &CConnection::accept);
    connect(cancel, &QPushButton::clicked, this, &CConnection::reject);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_stop);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(help);
    bottom->addStretch();
    bottom->addWidget(m_connection);
    bottom->addWidget(m_ok);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->addWidget(headline);
    layout->addLayout(progressRow);
    layout->addWidget(portGroup, 1);
    layout->addWidget(detailGroup);
    layout->addWidget(modemsLabel);
    layout->addWidget(m_modems);
    layout->addLayout(bottom);

    m_list->setColumnWidthChecked(PortColumn, 100);
    m_list->setColumnWidthChecked(DetailsColumn, 200);
    m_list->setColumnWidthChecked(StatusColumn, 250);
    resize(620, 560);

    m_cancelRepeater = new QTimer(this);
    m_cancelRepeater->setInterval(50);
    connect(m_cancelRepeater, &QTimer::timeout, this, [this] {
        const bool scanAlive = m_scanThread && m_scanThread->isRunning();
        const bool queryAlive = m_queryThread && m_queryThread->isRunning();
        if (scanAlive)
            m_scan->cancelWait();
        if (queryAlive)
            m_queryPort->cancelWait();
        if (!scanAlive && !queryAlive)
            m_cancelRepeater->stop();
    });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    m_ok->setEnabled(false);
    m_connection->setEnabled(false);
    startScan();
}

CConnection::~CConnection()
{
    if (m_scan)
        m_scan->stop();
    ++m_queryGeneration;
    joinCancelling(m_scanThread.get(), [scan = m_scan] { scan->cancelWait(); });
    joinCancelling(m_queryThread.get(), [port = m_queryPort] { port->cancelWait(); });
}

bool CConnection::isScanHeld() const
{
    return m_scan && m_scan->isHeld();
}

QString CConnection::cell(int row, Column column) const
{
    return m_rows->data(m_rows->index(row, column)).toString();
}

QListWidgetItem* CConnection::modemItem(int port) const
{
    for (int i = 0; i < m_modems->count(); ++i)
        if (m_modems->item(i)->data(Qt::UserRole).toInt() == port)
            return m_modems->item(i);
    return nullptr;
}

void CConnection::offerModem(int port, const QString& manufacturer, const QString& model)
{
    QListWidgetItem* item = modemItem(port);
    if (!item) {
        item = new QListWidgetItem(SelectedModem{port, manufacturer, model}.deviceLine());
        item->setData(Qt::UserRole, port);
        item->setData(Qt::UserRole + 1, manufacturer);
        item->setData(Qt::UserRole + 2, model);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        const QSignalBlocker block(m_modems);
        item->setCheckState(Qt::Unchecked);
        m_modems->addItem(item);
        // Space ticks the current modem: a list reached with Tab has one from the start.
        if (!m_modems->currentItem())
            m_modems->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    }
    m_shownModemPort = port;
    const QSignalBlocker block(m_viaModem);
    m_viaModem->setChecked(item->checkState() == Qt::Checked);
}

void CConnection::clearDetails()
{
    m_shownModemPort = 0;
    for (QLineEdit* e : {m_com, m_details, m_manufacturer, m_model, m_pin})
        e->clear();
    m_sendsSms = false;
    m_viaModem->setChecked(false);
    m_viaModem->setEnabled(false);
    m_viaModem->setAccessibleName(m_viaModem->text());
}

void CConnection::startScan()
{
    endScanThread();
    m_selectedRow = -1;
    m_modelText.clear();
    m_manufacturerText.clear();
    m_scanDone = false;
    m_rows->removeRows(0, m_rows->rowCount());
    clearDetails();
    m_modems->clear();
    m_list->setEnabled(false);
    m_progress->show();
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_ok->setEnabled(false);
    m_connection->setEnabled(false);
    m_stop->show();
    m_stop->setEnabled(true);

    auto scan = std::make_shared<PortScan>();
    m_scan = scan;
    m_scanning = true;
    // Every report is dropped once its scan was stopped or replaced.
    auto onGui = [this, scan](auto&& work) {
        QMetaObject::invokeMethod(
            this,
            [this, scan, work] {
                if (scan == m_scan && !scan->stopRequested())
                    work();
            },
            Qt::QueuedConnection);
    };
    PortScan::Sink sink;
    sink.started = [this, onGui](int count) {
        onGui([this, count] {
            m_progress->setRange(0, qMax(1, count)); // an empty range would animate as "busy"
            m_progress->setValue(0);
        });
    };
    sink.stepped = [this, onGui](int row) { onGui([this, row] { m_progress->setValue(row + 1); }); };
    sink.rowReady = [this, onGui](int row, int number, const QString& details) {
        onGui([this, row, number, details] {
            m_rows->insertRow(row, {new QStandardItem(PortScanText::portName(number)), new QStandardItem(details),
                                    new QStandardItem()});
        });
    };
    sink.statusReady = [this, onGui](int row, const QString& status) {
        onGui([this, row, status] { m_rows->setData(m_rows->index(row, StatusColumn), status); });
    };
    m_scanThread.reset(QThread::create([scan, sink] { scan->run(sink); }));
    m_scanThread->setObjectName(QStringLiteral("Port scan"));
    connect(m_scanThread.get(), &QThread::finished, this, [this, scan] {
        if (scan == m_scan)
            onScanFinished();
    });
    m_scanThread->start();
}

void CConnection::endScanThread()
{
    if (!m_scanThread)
        return;
    m_scan->stop();
    joinCancelling(m_scanThread.get(), [scan = m_scan] { scan->cancelWait(); });
    m_scanThread.reset();
}

void CConnection::onScanFinished()
{
    m_scanning = false;
    fitColumns();
    restoreAfterScan();
}

// The columns keep their usual widths and grow to what the scan found, so no
// port's details or status are cut short.
void CConnection::fitColumns()
{
    const std::pair<int, int> usual[] = {{PortColumn, 100}, {DetailsColumn, 200}, {StatusColumn, 250}};
    for (const auto& [column, width] : usual)
        m_list->setColumnWidthChecked(column, std::max(width, m_list->contentWidth(column)));
}

void CConnection::restoreAfterScan()
{
    m_list->setEnabled(true);
    m_ok->setEnabled(true);
    m_connection->setEnabled(true);
    // Focus leaving Stop must not land on the list: that would select a row
    // (and query its device) without the user asking.
    if (m_stop->hasFocus())
        m_ok->setFocus();
    m_stop->setEnabled(false);
    m_progress->setValue(0);
    m_scanDone = true;
}

void CConnection::onStop()
{
    if (!m_scanning || m_asking || m_scan->stopRequested())
        return;
    m_asking = true;
    m_scan->hold();
    const int answer = Ui::messageBox(this,
                                      QStringLiteral("Terminating the current process will stop scanning mobile phone "
                                                     "device. Are you sure you want to continue?"),
                                      QStringLiteral("Confirm"), Ui::Buttons::YesNo, Ui::Icon::Warning);
    m_asking = false;
    if (answer != Ui::IdYes) {
        m_scan->release();
        return;
    }
    // The buttons come back when the thread has let go of its port.
    m_scan->stop();
    m_cancelRepeater->start();
    m_stop->setEnabled(false);
    m_progress->setValue(0);
}

void CConnection::onSelectionChanged()
{
    const int row = m_list->firstSelectedRow();
    if (row >= 0 && row != m_selectedRow)
        selectRow(row);
}

void CConnection::selectRow(int row)
{
    m_modelText.clear();
    m_manufacturerText.clear();
    m_selectedRow = row;
    clearDetails();
    m_com->setText(cell(row, PortColumn));
    m_details->setText(cell(row, DetailsColumn));

    const QString status = cell(row, StatusColumn);
    if (!status.isEmpty() && status != kSelectedDevice)
        return;
    const int number = PortScanText::portNumber(cell(row, PortColumn));
    if (number < 1 || number > 255)
        return;
    startQuery(number);
}

void CConnection::startQuery(int number)
{
    joinCancelling(m_queryThread.get(), [port = m_queryPort] { port->cancelWait(); });
    auto port = std::make_shared<CSMSSerialPort>();
    m_queryPort = port;
    const int generation = ++m_queryGeneration;
    const int timeoutMs = ScanTiming::current().selectionTimeoutMs;
    m_querying = true;
    // The list is off while the port answers; the keyboard comes back to it afterwards.
    m_listHadFocus = m_list->hasFocus();
    m_list->setEnabled(false);
    m_ok->setEnabled(false);
    m_connection->setEnabled(false);
    setCursor(Qt::WaitCursor);
    m_queryThread.reset(QThread::create([this, port, number, generation, timeoutMs] {
        bool ok = false;
        CSMSSerialPort::DeviceIdentity identity;
        QString error;
        try {
            port->Open(number, timeoutMs);
            identity = port->QueryManufacturerAndModel();
            ok = true;
        } catch (const CSMSException& e) {
            error = e.errorMessage();
        }
        port->Close();
        const bool sendsSms = ok && GsmModem::acceptsPduMode(number, timeoutMs);
        QMetaObject::invokeMethod(
            this,
            [this, generation, ok, identity, error, sendsSms] {
                onQueryDone(generation, ok, identity, error, sendsSms);
            },
            Qt::QueuedConnection);
    }));
    m_queryThread->setObjectName(QStringLiteral("Device query"));
    m_queryThread->start();
}

void CConnection::onQueryDone(int generation, bool ok, const CSMSSerialPort::DeviceIdentity& identity,
                              const QString& error, bool sendsSms)
{
    if (generation != m_queryGeneration)
        return;
    m_querying = false;
    unsetCursor();
    m_list->setEnabled(true);
    m_ok->setEnabled(true);
    m_connection->setEnabled(true);
    if (std::exchange(m_listHadFocus, false))
        m_list->setFocus();
    if (ok) {
        m_manufacturerText = identity.manufacturer;
        m_modelText = identity.model;
        m_manufacturer->setText(identity.manufacturer);
        m_model->setText(identity.model);
        m_pin->setText(g_strDevicePin.get());
        g_bDeviceSelected = true;
        m_sendsSms = sendsSms;
        m_viaModem->setEnabled(sendsSms);
        if (sendsSms) {
            m_viaModem->setAccessibleName(QStringLiteral("Send SMS through the GSM modem on %1").arg(m_com->text()));
            offerModem(PortScanText::portNumber(m_com->text()), identity.manufacturer, identity.model);
        }
        return;
    }
    g_bDeviceSelected = false;
    Ui::notice(this, error.isEmpty() ? kNotWorking
                                     : kNotWorking + QStringLiteral("\n\nOR\n\nDevice Connection Error : ") + error);
}

void CConnection::accept()
{
    if (m_scanning || m_querying)
        return;
    // The modems ticked in the list send, whichever port is selected now.
    QList<SelectedModem> modems;
    QList<ModemSelection::Remembered> remembered;
    for (int i = 0; i < m_modems->count(); ++i) {
        const QListWidgetItem* item = m_modems->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        const SelectedModem modem{item->data(Qt::UserRole).toInt(), item->data(Qt::UserRole + 1).toString(),
                                  item->data(Qt::UserRole + 2).toString()};
        modems.append(modem);
        remembered.append({modem, SerialPortList::devicePathFor(modem.port)});
    }
    if (!modems.isEmpty()) {
        ModemSelection::selectAll(modems);
        // Offered again at the next start; a settings folder that cannot be written only loses that.
        ModemSelection::rememberAll(remembered);
        m_scanDone = true;
        g_bDeviceSelected = true;
        g_strDeviceName.set(ModemSelection::deviceLine(modems));
        QDialog::accept();
        return;
    }
    const int row = m_list->firstSelectedRow();
    if (row < 0 || cell(row, PortColumn).isEmpty()) {
        Ui::notice(this, QStringLiteral("Please select device from list."));
        return;
    }
    const int number = PortScanText::portNumber(cell(row, PortColumn));
    const QString status = cell(row, StatusColumn);
    // A modem sends by itself: it needs no handset PIN.
    const bool viaModem = m_sendsSms && m_viaModem->isChecked();
    if (number < 1 || number > 255 || status == PortScanText::requestTimeout || status == PortScanText::cannotAccess ||
        status.startsWith(PortScanText::inUse) || (m_pin->text().isEmpty() && !viaModem)) {
        Ui::notice(this, kNotWorking);
        return;
    }
    if (viaModem) {
        const SelectedModem modem{number, m_manufacturerText, m_modelText};
        ModemSelection::select(modem);
        // Offered again at the next start; a settings folder that cannot be written only loses that.
        ModemSelection::remember(modem, SerialPortList::devicePathFor(number));
        m_scanDone = true;
        g_bDeviceSelected = true;
        g_strDeviceName.set(modem.deviceLine());
        QDialog::accept();
        return;
    }
    ModemSelection::clear();
    ModemSelection::forget();
    if (!m_modelText.isEmpty()) {
        m_scanDone = true;
        const QString pin = g_strDevicePin.get();
        if (!pin.isEmpty())
            m_pin->setText(pin);
        g_bDeviceSelected = true;
        g_strDeviceName.set(QStringLiteral("%1 %2 (%3)")
                                .arg(m_manufacturerText, m_modelText, PortScanText::portName(number))
                                .trimmed());
    }
    QDialog::accept();
}

void CConnection::reject()
{
    g_bDeviceSelected = false;
    ModemSelection::clear();
    m_modelText.clear();
    if (m_scan && m_scanning) {
        m_scan->stop();
        m_cancelRepeater->start();
    }
    if (m_querying) {
        ++m_queryGeneration;
        m_querying = false;
        m_cancelRepeater->start();
    }
    done(0);
}

bool CConnection::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+C copies nothing out of this dialog.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
        return true;
    return QDialog::eventFilter(watched, event);
}
