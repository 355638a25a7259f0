// Whole import paths through the main window, offscreen: "Load Contacts From
// File" on 50,000-row workbooks and a 1,000,000-number text file, and the
// Dynamic Message Import Wizard on 50,000 rows x 10 columns, with the longest
// stall of the GUI thread. Run bin/veva_bench_imports [folder]; it writes the
// sample files there (default: a temporary folder) and prints the figures
// that BENCHMARKS.md records.

#include "TestWorkbooks.h"
#include "app/CCorvaneDlg.h"
#include "app/controls/Ui.h"
#include "app/core/RecipientListModel.h"
#include "import/dialogs/CDynamic_Excel_Msg.h"
#include "import/dialogs/CExcel_Info_Dlg.h"
#include "import/dialogs/ImportCommands.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kRows = 50000;

long rssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
           usage.ru_stime.tv_usec / 1e3;
}

// Resets the high-water mark so each measurement starts from the current size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Measures the longest gap between ticks of a 5 ms timer: how long the GUI thread was busy at a stretch.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stopMs()
    {
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

TestSheet contactsSheet()
{
    QRandomGenerator rng(50000);
    TestSheet sheet(QStringLiteral("Contacts"));
    sheet.text(0, 0, QStringLiteral("Number")).text(0, 1, QStringLiteral("Name"));
    std::vector<double> numbers;
    for (int r = 1; r <= kRows; ++r) {
        const bool repeat = !numbers.empty() && rng.bounded(50) == 0;
        const double n = repeat ? numbers[rng.bounded(int(numbers.size()))] : 919800000000.0 + rng.bounded(100000000);
        numbers.push_back(n);
        sheet.number(r, 0, n).text(r, 1, QStringLiteral("Contact %1").arg(r));
    }
    return sheet;
}

TestSheet resultsSheet()
{
    TestSheet sheet(QStringLiteral("Results"));
    for (int r = 0; r < kRows; ++r) {
        sheet.number(r, 0, 447700000000.0 + r);
        for (int c = 1; c < 10; ++c)
            sheet.text(r, c, QStringLiteral("v%1.%2").arg(r).arg(c));
    }
    return sheet;
}

struct Window
{
    CCorvaneDlg dlg;
    ImportCommands* commands = new ImportCommands(&dlg);
    Window()
    {
        dlg.initialise();
        dlg.show();
        QApplication::processEvents();
    }
};

void loadContacts(const QString& file, bool spreadsheet)
{
    Window w;
    w.dlg.findChild<QCheckBox*>(QStringLiteral("1014"))->setChecked(true);
    Ui::setFileDialogHook([file](Ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString&) {
        return file;
    });
    // The sheet dialog is answered at once: sheet 1, column 1.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<CExcel_Info_Dlg*>(QApplication::activeModalWidget());
        if (!d)
            return;
        auto* sheets = d->findChild<QListWidget*>(QStringLiteral("1072"));
        auto* columns = d->findChild<QListWidget*>(QStringLiteral("1005"));
        if (sheets->currentRow() != 0)
            sheets->setCurrentRow(0);
        else if (!d->isReading() && columns->count() > 0) {
            columns->item(0)->setCheckState(Qt::Checked);
            poll.stop();
            d->accept();
        }
    });
    if (spreadsheet)
        poll.start();
    StallMeter stall;
    const long before = rssKb();
    resetPeak();
    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuMs();
    stall.start();
    w.dlg.findChild<QPushButton*>(QStringLiteral("1006"))->click();
    while (w.commands->isImporting())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 ms = clock.elapsed();
    const double stallMs = stall.stopMs();
    std::printf("%-40s %7lld ms (%6.0f ms CPU)  %7d rows  peak +%5ld MB  longest GUI stall %5.1f ms\n",
                qPrintable(QFileInfo(file).fileName()), ms, cpuMs() - cpu, w.dlg.recipients()->count(),
                (peakKb() - before) / 1024, stallMs);
    Ui::setFileDialogHook({});
}

void dynamicMessages(const QString& file)
{
    Window w;
    QString tmpl;
    for (int k = 1; k <= 10; ++k)
        tmpl += QStringLiteral("<COL-%1> ").arg(k);
    StallMeter stall;
    QElapsedTimer clock;
    qint64 ms = 0;
    double stallMs = 0;
    double cpu = 0;
    int rows = 0;
    QTimer::singleShot(0, [&] {
        auto* wizard = qobject_cast<CDynamic_Excel_Msg*>(QApplication::activeModalWidget());
        wizard->findChild<QRadioButton*>(QStringLiteral("1152"))->setChecked(true);
        wizard->findChild<QPushButton*>(QStringLiteral("1"))->click();
        wizard->findChild<QLineEdit*>(QStringLiteral("1154"))->setText(file);
        wizard->findChild<QPushButton*>(QStringLiteral("1"))->click();
        while (wizard->isWorking())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        wizard->findChild<QPlainTextEdit*>(QStringLiteral("1157"))->setPlainText(tmpl);
        QObject::connect(wizard, &QDialog::finished, [&] {
            ms = clock.elapsed();
            cpu = cpuMs() - cpu;
            stallMs = stall.stopMs();
            rows = w.dlg.recipients()->count();
        });
        clock.start();
        cpu = cpuMs();
        stall.start();
        wizard->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    w.dlg.findChild<QPushButton*>(QStringLiteral("1101"))->click();
    std::printf("%-40s %7lld ms (%6.0f ms CPU)  %7d rows  longest GUI stall %5.1f ms\n",
                qPrintable(QStringLiteral("wizard, 10 placeholders, ") + QFileInfo(file).fileName()), ms, cpu, rows,
                stallMs);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    qputenv("VEVA_SMS_APP_DIR", folder.toLocal8Bit());
    Ui::setMessageBoxHook([](QWidget*, const QString& text, const QString&, Ui::Buttons, Ui::Icon) {
        std::printf("message: %s\n", qPrintable(text));
        return int(Ui::IdOk);
    });

    // Files left in a given folder by an earlier run are used again (for profiling the imports alone).
    const QString xlsx = folder + QStringLiteral("/contacts.xlsx");
    const QString xls = folder + QStringLiteral("/contacts.xls");
    const QString txt = folder + QStringLiteral("/million.txt");
    const QString tall = folder + QStringLiteral("/tall.xlsx");
    const QString results = folder + QStringLiteral("/results.xlsx");
    const QString resultsXls = folder + QStringLiteral("/results.xls");
    if (argc <= 1 || !QFile::exists(resultsXls)) {
        const TestSheet contacts = contactsSheet();
        writeTestWorkbook(xlsx, {contacts});
        writeTestWorkbook(xls, {contacts});
        QFile f(txt);
        f.open(QIODevice::WriteOnly);
        QByteArray block;
        for (int i = 0; i < 1000000; ++i)
            block += QByteArray::number(9000000000LL + i * 7) + "\r\n";
        f.write(block);
        f.close();
        writeTestWorkbook(tall, {TestSheet(QStringLiteral("Tall"))
                                     .number(0, 0, 111)
                                     .number(524287, 0, 222)
                                     .number(1048575, 16383, 333)});
        const TestSheet resultRows = resultsSheet();
        writeTestWorkbook(results, {resultRows});
        writeTestWorkbook(resultsXls, {resultRows});
    }

    std::printf("idle RSS %ld MB\n", rssKb() / 1024);
    // VEVA_BENCH_ONLY=contacts.xlsx (a file name) runs that case alone, for profiling.
    const QString only = qEnvironmentVariable("VEVA_BENCH_ONLY");
    auto wanted = [&only](const QString& path) { return only.isEmpty() || path.endsWith(only); };
    const int rounds = only.isEmpty() ? 3 : 1;
    for (int round = 0; round < rounds; ++round) {
        for (const QString& f : {xlsx, xls, tall}) {
            if (wanted(f))
                loadContacts(f, true);
        }
        if (wanted(txt))
            loadContacts(txt, false);
        for (const QString& f : {results, resultsXls}) {
            if (wanted(f))
                dynamicMessages(f);
        }
    }
    return 0;
}
