#include "CExport_Option.h"

#include "app/controls/Ui.h"
#include "app/controls/Theme.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString kPickerFormat = QStringLiteral("dd/MM/yyyy");

template <class W> W* named(W* widget, int id, const QString& accessibleName)
{
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessibleName);
    widget->setFont(Theme::dialogFont());
    return widget;
}

// What a picker shows, read back day first as the log's dates are.
QDate pickerDate(const QDateEdit* picker)
{
    return readLogDate(picker->text()).value_or(picker->date());
}

} // namespace

CExport_Option::CExport_Option(QWidget* parent, const QList<DataFiles::SentItem>& rows, const QDate& today)
    : QDialog(parent), m_rows(rows)
{
    setObjectName(QStringLiteral("173"));
    setWindowTitle(QStringLiteral("Export"));
    Theme::applyDialogLook(this);

    auto picker = [this](int id, const QString& name) {
        auto* p = named(new QDateEdit(this), id, name);
        p->setDisplayFormat(kPickerFormat);
        p->setCalendarPopup(true);
        p->setMinimumWidth(120);
        return p;
    };
    auto* startLabel = named(new QLabel(QStringLiteral("Start Date :"), this), 1018, QStringLiteral("Start Date :"));
    auto* endLabel = named(new QLabel(QStringLiteral("End Date :"), this), 1019, QStringLiteral("End Date :"));
    m_start = picker(1109, QStringLiteral("Start Date"));
    m_end = picker(1110, QStringLiteral("End Date"));
    startLabel->setBuddy(m_start);
    endLabel->setBuddy(m_end);

    const struct
    {
        int id;
        const char* caption;
        ExportFormat format;
    } formats[] = {
        {1093, "Export into Text File (*.txt)", ExportFormat::Text},
        {1094, "Export into Html File (*.html)", ExportFormat::Html},
        {1141, "Export into Excel (97-2003) File (*.xls)", ExportFormat::Xls},
        {1142, "Export into Excel File (*.xlsx)", ExportFormat::Xlsx},
    };
    for (const auto& f : formats) {
        const QString caption = QString::fromLatin1(f.caption);
        auto* radio = named(new QRadioButton(caption, this), f.id, caption);
        const ExportFormat format = f.format;
        connect(radio, &QRadioButton::toggled, this, [this, format](bool on) {
            if (on)
                m_format = format;
        });
        m_formats.append(radio);
    }

    auto* ok = named(new QPushButton(QStringLiteral("OK"), this), 1, QStringLiteral("OK"));
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), 2, QStringLiteral("Cancel"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CExport_Option::accept);
    connect(cancel, &QPushButton::clicked, this, &CExport_Option::reject);

    auto* dates = new QGridLayout;
    dates->setHorizontalSpacing(10);
    dates->setVerticalSpacing(10);
    dates->addWidget(startLabel, 0, 0);
    dates->addWidget(m_start, 0, 1);
    dates->addWidget(endLabel, 1, 0);
    dates->addWidget(m_end, 1, 1);
    dates->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->addLayout(dates);
    layout->addSpacing(18);
    for (QRadioButton* radio : m_formats) {
        layout->addWidget(radio);
        layout->addSpacing(4);
    }
    layout->addStretch();
    layout->addLayout(buttons);
    resize(395, 290);

    // The last 30 days up to today, as text; every opening starts there.
    m_formats.first()->setChecked(true);
    m_format = ExportFormat::Text;
    m_end->setDate(today);
    m_start->setDate(pickerDate(m_end).addDays(-30));
    m_range = {m_start->date(), m_end->date()};
    ok->setFocus();
}

void CExport_Option::accept()
{
    m_range = {pickerDate(m_start), pickerDate(m_end)};
    ExportOptions options = exportOptions();
    options.range = m_range;
    setExportOptions(options);

    if (m_range.start > m_range.end) {
        Ui::notice(this, QStringLiteral("End date should be greater than or equal to Start date."));
        m_end->setFocus();
        return;
    }
    const bool found = std::any_of(m_rows.cbegin(), m_rows.cend(), [this](const DataFiles::SentItem& row) {
        const auto date = readLogDate(row.date);
        return date && m_range.contains(*date);
    });
    if (!found) {
        Ui::notice(this, QStringLiteral("There is no record for selected duration."));
        m_start->setFocus();
        return;
    }
    for (qsizetype i = 0; i < m_formats.size(); ++i) {
        if (m_formats[i]->isChecked()) {
            m_format = ExportFormat(int(i));
            break;
        }
    }
    options.format = m_format;
    setExportOptions(options);
    QDialog::accept();
}
