#include "CDynamic_Excel_Msg.h"

#include "CExl_Msg_EG.h"
#include "CLoad_Xl_SMS_Modeless.h"
#include "app/controls/SupportLinks.h"
#include "app/core/CommandHost.h"
#include "app/controls/Ui.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/Theme.h"
#include "import/WorkbookTables.h"
#include "import/workbook/Workbook.h"
#include "app/controls/WaitDialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

std::atomic<int> g_nWizardPage{1};

namespace {

const QString kFormatNote = QStringLiteral(
    "\n\nNote: Maximum of 50,000 records in a single sheet are supported and all data should be in FIRST SHEET. Each "
    "message may be of maximum 1600 characters.");
const QString kImportFormat = QStringLiteral("The Excel file should contain data in following format:\n\nColumn1: "
                                             "Mobile Numbers\nColumn2: SMS Messages");
const QString kDynamicFormat = QStringLiteral("The file should be in following format:\n\nColumn1: Mobile "
                                              "Numbers\nColumn2: Any Data\nColumn3: Any Data\nUpto Column10: Any Data");

QString importDescription()
{
    return QStringLiteral("This option allows you to import contact numbers and their respective SMS texts directly "
                          "from excel file. ") +
           kImportFormat + kFormatNote;
}
QString dynamicDescription()
{
    return QStringLiteral("This option allows you to create dynamic and personalized message for each contact by "
                          "using data in various excel columns. ") +
           kDynamicFormat + kFormatNote;
}
QString importBrowseText()
{
    return QStringLiteral("Browse the location of Excel file to import contact numbers and their respective SMS "
                          "texts. ") +
           kImportFormat + kFormatNote;
}
QString dynamicBrowseText()
{
    return QStringLiteral("Browse the location of Excel file which you want to use to create dynamic and personalized "
                          "message for each contact by using data of its various columns. ") +
           kDynamicFormat + kFormatNote;
}

const QString kContinue = QStringLiteral("Continue");
const QString kNext = QStringLiteral("Next >");
const QString kFinish = QStringLiteral("Finish");
const QString kBack = QStringLiteral("< Back");
const QString kCancel = QStringLiteral("Cancel");
const QString kValidPath = QStringLiteral("Please select a valid file path.");

template <typename W> W* named(W* w, int id, const QString& accessible)
{
    w->setObjectName(QString::number(id));
    w->setAccessibleName(accessible);
    return w;
}

QLabel* description(QWidget* parent, int id, const QString& text)
{
    auto* l = named(new QLabel(text, parent), id, text);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

} // namespace

CDynamic_Excel_Msg::CDynamic_Excel_Msg(CommandHost* main, Host host)
    : QDialog(main->commandWindow()), m_commandHost(main), m_main(main->commandWindow()), m_host(std::move(host))
{
    setObjectName(QStringLiteral("199"));
    setWindowTitle(QStringLiteral("Dynamic Message Import Wizard"));
    Theme::applyDialogLook(this);
    g_nSelectedSheet = 1;
    g_nWizardPage = 1;

    // Page 1: the two modes.
    m_importMode = named(new QRadioButton(QStringLiteral("Import Numbers and their respective messages from EXCEL File."), this),
                         1150, QStringLiteral("Import Numbers and their respective messages from EXCEL File."));
    m_dynamicMode = named(
        new QRadioButton(QStringLiteral("On the basis of EXCEL file contents, create personalized Dynamic messages."), this),
        1152, QStringLiteral("On the basis of EXCEL file contents, create personalized Dynamic messages."));
    auto* importBox = named(new QGroupBox(this), 1204, QStringLiteral("Import numbers and messages"));
    auto* dynamicBox = named(new QGroupBox(this), 1205, QStringLiteral("Personalized dynamic messages"));
    auto* importText = description(importBox, 1151, importDescription());
    auto* dynamicText = description(dynamicBox, 1153, dynamicDescription());
    for (QRadioButton* r : {m_importMode, m_dynamicMode})
        r->setFont(Theme::headingFont());
    auto* importLayout = new QVBoxLayout(importBox);
    importLayout->addWidget(m_importMode);
    importLayout->addWidget(importText);
    auto* dynamicLayout = new QVBoxLayout(dynamicBox);
    dynamicLayout->addWidget(m_dynamicMode);
    dynamicLayout->addWidget(dynamicText);
    auto* example1 = named(new QPushButton(QStringLiteral("Show me an Example"), this), 1133,
                           QStringLiteral("Show me an Example"));
    m_importMode->setChecked(true);
    connect(m_importMode, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_nMode = 0;
    });
    connect(m_dynamicMode, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_nMode = 1;
    });
    m_page1 = {m_importMode, m_dynamicMode, importBox, dynamicBox, importText, dynamicText, example1};

    // Page 2: the file.
    m_browseText = description(this, 1161, importBrowseText());
    auto* pathLabel = named(new QLabel(QStringLiteral("File Path :"), this), 1155, QStringLiteral("File Path :"));
    pathLabel->setFont(Theme::headingFont());
    m_path = named(new QLineEdit(this), 1154, QStringLiteral("File Path"));
    m_path->setReadOnly(true);
    connect(m_path, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_path->setAccessibleName(text.isEmpty() ? QStringLiteral("File Path: none chosen")
                                                 : QStringLiteral("File Path: %1").arg(text));
    });
    auto* browse = named(new QPushButton(QStringLiteral("Browse"), this), 1114, QStringLiteral("Browse"));
    m_page2 = {m_browseText, pathLabel, m_path, browse};

    // Page 3: the columns and the template.
    auto* columnsLabel = named(new QLabel(QStringLiteral("Selected File Column Information :"), this), 1159,
                               QStringLiteral("Selected File Column Information :"));
    m_columns = named(new QTableWidget(0, 3, this), 1156, QStringLiteral("Columns: none"));
    m_columns->setHorizontalHeaderLabels({QStringLiteral("S.No."), QStringLiteral("Coulmn"), QStringLiteral("Represent as")});
    m_columns->horizontalHeader()->setFont(Theme::headingFont());
    m_columns->setColumnWidth(0, 60);
    m_columns->setColumnWidth(1, 300);
    m_columns->setColumnWidth(2, 100);
    m_columns->horizontalHeader()->setStretchLastSection(true);
    m_columns->verticalHeader()->hide();
    m_columns->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_columns->setSelectionMode(QAbstractItemView::SingleSelection);
    m_columns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_columns->setShowGrid(true);
    auto* useColumn = named(new QPushButton(QStringLiteral("Use Column"), this), 1101, QStringLiteral("Use Column"));
    auto* templateLabel = named(new QLabel(QStringLiteral("Please create dynamic message here :"), this), 1160,
                                QStringLiteral("Please create dynamic message here :"));
    for (QLabel* l : {columnsLabel, templateLabel})
        l->setFont(Theme::headingFont());
    m_template = named(new QPlainTextEdit(this), 1157, QStringLiteral("Dynamic message template"));
    m_template->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* example3 = named(new QPushButton(QStringLiteral("Show me an Example"), this), 1134,
                           QStringLiteral("Show me an Example"));
    m_example3 = example3;
    m_page3 = {columnsLabel, m_columns, useColumn, templateLabel, m_template};

    m_back = named(new QPushButton(kCancel, this), 1158, kCancel);
    m_ok = named(new QPushButton(kContinue, this), 1, kContinue);
    m_ok->setDefault(true);
    auto* help = CColorStatic::makeLink(QStringLiteral("Need help? Click here to contact us."), QStringLiteral("1029"), this);
    connect(help, &CColorStatic::clicked, this, [this] { Support::openSupportMail(this); });

    for (QPushButton* b : {example1, example3})
        connect(b, &QPushButton::clicked, this, [this] {
            CExl_Msg_EG example(this);
            example.exec();
        });
    connect(browse, &QPushButton::clicked, this, &CDynamic_Excel_Msg::onBrowse);
    connect(useColumn, &QPushButton::clicked, this, [this] { InsertPlaceholder(true); });
    connect(m_columns, &QTableWidget::cellDoubleClicked, this, [this] { InsertPlaceholder(false); });
    connect(m_back, &QPushButton::clicked, this, &CDynamic_Excel_Msg::onBack);
    connect(m_ok, &QPushButton::clicked, this, &CDynamic_Excel_Msg::onOk);

    m_activityTimer = new QTimer(this);
    m_activityTimer->setObjectName(QStringLiteral("4545"));
    m_activityTimer->setInterval(10);
    connect(m_activityTimer, &QTimer::timeout, this, [this] {
        if (m_pProgressWnd)
            m_pProgressWnd->stepActivity();
    });

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(browse);
    auto* columnRow = new QHBoxLayout;
    columnRow->addWidget(columnsLabel);
    columnRow->addStretch();
    columnRow->addWidget(useColumn);
    auto* content = new QVBoxLayout;
    content->addWidget(importBox);
    content->addWidget(dynamicBox);
    content->addWidget(m_browseText);
    content->addLayout(pathRow);
    content->addLayout(columnRow);
    content->addWidget(m_columns, 2);
    content->addWidget(templateLabel);
    content->addWidget(m_template, 2);
    content->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(help);
    bottom->addStretch();
    bottom->addWidget(example1);
    bottom->addWidget(example3);
    bottom->addWidget(m_back);
    bottom->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(content, 1);
    layout->addLayout(bottom);
    resize(620, 560);
    showPage(1);
    m_importMode->setFocus();
}

CDynamic_Excel_Msg::~CDynamic_Excel_Msg()
{
    if (m_thread) {
        while (!m_thread->wait(10))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        delete m_thread;
    }
    delete m_pProgressWnd;
    delete m_pWaitWnd;
}

CLoad_Xl_SMS_Modeless* CDynamic_Excel_Msg::progressWindow() const
{
    return m_pProgressWnd;
}

CPlease_Wail_Modeless* CDynamic_Excel_Msg::waitWindow() const
{
    return m_pWaitWnd;
}

int CDynamic_Excel_Msg::run()
{
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    open();
    loop.exec();
    return result();
}

void CDynamic_Excel_Msg::showPage(int page)
{
    g_nWizardPage = page;
    for (QWidget* w : m_page1)
        w->setVisible(page == 1);
    for (QWidget* w : m_page2)
        w->setVisible(page == 2);
    for (QWidget* w : m_page3)
        w->setVisible(page == 3);
    m_example3->setVisible(page == 3);
    auto caption = [](QPushButton* b, const QString& text) {
        b->setText(text);
        b->setAccessibleName(text);
    };
    caption(m_back, page == 1 ? kCancel : kBack);
    if (page == 1)
        caption(m_ok, kContinue);
    else if (page == 2)
        caption(m_ok, m_nMode == 0 ? kFinish : kNext);
    else
        caption(m_ok, kFinish);
    if (page == 2) {
        const QString text = m_nMode == 0 ? importBrowseText() : dynamicBrowseText();
        m_browseText->setText(text);
        m_browseText->setAccessibleName(text);
    }
}

void CDynamic_Excel_Msg::stopTimers()
{
    m_activityTimer->stop();
    if (m_host.importTimer)
        m_host.importTimer(false);
}

void CDynamic_Excel_Msg::onOk()
{
    if (m_thread)
        return;
    m_strFilePath = m_path->text();
    m_strTemplate = m_template->toPlainText();
    if (!m_pProgressWnd) {
        m_pProgressWnd = new CLoad_Xl_SMS_Modeless(m_main);
    } else {
        stopTimers();
        m_pProgressWnd->hide();
    }
    centreOver(m_pProgressWnd, m_main);
    m_pProgressWnd->setEnabled(false);
    m_activityTimer->start();
    if (m_host.importTimer)
        m_host.importTimer(true);

    const QString caption = m_ok->text();
    const bool pathOk = !m_strFilePath.isEmpty() && QFileInfo::exists(m_strFilePath);
    if (caption == kContinue) {
        showPage(2);
        stopTimers();
        m_path->setFocus();
    } else if (caption == kNext) {
        if (!pathOk) {
            Ui::notice(this, kValidPath);
            stopTimers();
            return;
        }
        runStep([this] { return ReadColumnHeaders(); }, [this](int ok) {
            stopTimers();
            if (!ok)
                return;
            m_template->clear();
            showPage(3);
            if (m_columns->rowCount() > 0)
                m_columns->selectRow(0);
            m_columns->setFocus();
        });
    } else if (g_nWizardPage == 3 && m_strTemplate.trimmed().isEmpty()) {
        Ui::notice(this, QStringLiteral("Please enter some text message."));
        stopTimers();
    } else if (!pathOk) {
        Ui::notice(this, kValidPath);
        stopTimers();
    } else {
        const bool dynamic = g_nWizardPage == 3;
        runStep([this, dynamic] { return dynamic ? ComposeDynamicMessages() : ImportNumbersAndMessages(); },
                [this](int ok) {
                    stopTimers();
                    if (m_pWaitWnd)
                        m_pWaitWnd->hide();
                    if (ok) {
                        done(Imported);
                    } else {
                        show();
                        raise();
                    }
                });
    }
}

void CDynamic_Excel_Msg::onBack()
{
    if (m_thread)
        return;
    if (m_back->text() != kBack) {
        reject();
        return;
    }
    if (g_nWizardPage == 2) {
        showPage(1);
        m_path->clear();
    } else {
        showPage(2);
    }
}

void CDynamic_Excel_Msg::onBrowse()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString path = Ui::getOpenFileName(
        this, QString(), QString(),
        QStringLiteral("Excel Files(*.xls;*.xlsx) (*.xls *.xlsx *.csv *.ods *.XLS *.XLSX *.CSV *.ODS)"));
    QApplication::restoreOverrideCursor();
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (!info.exists()) {
        Ui::messageBox(this, QStringLiteral("File does not exist on selected location."), QStringLiteral("Warning"),
                       Ui::Buttons::Ok, Ui::Icon::Warning);
        return;
    }
    if (!Workbook::isSpreadsheetExtension(info.suffix())) {
        Ui::notice(this, QStringLiteral("Please select a valid file."));
        return;
    }
    m_path->setText(path);
}

void CDynamic_Excel_Msg::InsertPlaceholder(bool fromButton)
{
    const QList<QTableWidgetItem*> selected = m_columns->selectedItems();
    if (selected.isEmpty()) {
        if (fromButton)
            Ui::notice(this, QStringLiteral("Please select a record from the list to continue."));
        return;
    }
    const QTableWidgetItem* cell = m_columns->item(selected.first()->row(), 2);
    const QString placeholder = cell ? cell->text() : QString();
    QTextCursor cursor = m_template->textCursor();
    const QString text = m_template->toPlainText();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    m_template->setPlainText(text.left(start) + placeholder + text.mid(end));
    cursor = m_template->textCursor();
    cursor.movePosition(QTextCursor::End);
    m_template->setTextCursor(cursor);
    m_template->ensureCursorVisible();
}

void CDynamic_Excel_Msg::reject()
{
    if (m_thread)
        return;
    QDialog::reject();
}

void CDynamic_Excel_Msg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
