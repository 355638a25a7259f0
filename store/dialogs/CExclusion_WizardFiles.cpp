// The wizard's file work: reading the lists when it opens, writing the lists
// in use, deleting lists, reading and writing a list's numbers, and importing
// numbers from a text file or a workbook.

#include "CExclusion_Wizard.h"

#include "CExclusion_WizardShared.h"
#include "DialogWorker.h"
#include "ExclusionWorkbookImport.h"
#include "ListModels.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/CSpecialEdit.h"
#include "app/controls/GuiThread.h"
#include "app/controls/Ui.h"
#include "import/workbook/Workbook.h"
#include "store/DataFiles.h"
#include "store/ExclusionLists.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <optional>

using namespace ExclusionWizard;

namespace {

const QString kFileError = QStringLiteral("Error in file accessing.");
const QString kFileFilter = QStringLiteral("Text & Excel Files(*.txt;*.xls;*.xlsx)|*.txt;*.xls;*.xlsx;*.csv;*.ods||");

enum LoadOutcome
{
    Loaded,
    NotAnsi,
    EmptyFile,
    Ended
};

struct ImportResult
{
    int outcome = Loaded;
    QStringList added;
};

QString extensionOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

} // namespace

// --- Opening --------------------------------------------------------------------

void CExclusion_Wizard::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_firstLoad.shown([this] { openLists(); });
}

void CExclusion_Wizard::openLists()
{
    DataFiles::EnsureDataFiles();
    auto readNames = [this](const QString& path) {
        QStringList names;
        const std::optional<QStringList> lines = DataFiles::ReadExclusionFile(path);
        if (!lines) {
            Ui::notice(this, kFileError);
            return names;
        }
        // A name that could not have been entered here would name a file outside the list folder.
        for (const QString& name : *lines) {
            if (ExclusionLists::IsUsableListName(name))
                names.append(name);
        }
        return names;
    };
    m_available->setTexts(readNames(DataFiles::exclusionIndexPath()));
    m_inUse->setTexts(readNames(DataFiles::inUseListPath()));
    m_firstLoad.finish();
    m_availableList->setFocus();
    DialogParts::reselectMark(m_availableList, 0);
}

void CExclusion_Wizard::listsChanged()
{
    if (onListsChanged)
        onListsChanged();
}

// --- List page ------------------------------------------------------------------

void CExclusion_Wizard::OnSaveApplied()
{
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to continue?")))
        return;
    DataFiles::EnsureDataFiles();
    if (!DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), m_inUse->texts()).isEmpty()) {
        Ui::notice(this, kFileError);
        return;
    }
    listsChanged();
}

void CExclusion_Wizard::OnDelete()
{
    const QList<int> rows = selectedAvailableRows();
    if (rows.isEmpty())
        return;
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to delete the selected available list?")))
        return;
    const int mark = DialogParts::selectionMark(m_availableList);
    QStringList deleted;
    for (int row : rows)
        deleted.append(m_available->text(row));
    QList<int> inUseRows;
    for (int r = 0; r < m_inUse->count(); ++r) {
        if (deleted.contains(m_inUse->text(r), Qt::CaseInsensitive))
            inUseRows.append(r);
    }
    QStringList remainingInUse = m_inUse->texts();
    for (qsizetype i = inUseRows.size() - 1; i >= 0; --i)
        remainingInUse.removeAt(inUseRows.at(i));
    QStringList remainingLists = m_available->texts();
    for (qsizetype i = rows.size() - 1; i >= 0; --i)
        remainingLists.removeAt(rows.at(i));

    // The lists first, the number files after: a crash in between leaves an
    // orphan number file, never a listed list without its numbers.
    DataFiles::EnsureDataFiles();
    if (!DataFiles::RewriteExclusionFile(DataFiles::inUseListPath(), remainingInUse).isEmpty()) {
        Ui::notice(this, kFileError);
        return;
    }
    m_inUse->removeTextRows(inUseRows);
    if (!DataFiles::RewriteExclusionFile(DataFiles::exclusionIndexPath(), remainingLists).isEmpty()) {
        Ui::notice(this, kFileError);
        listsChanged();
        return;
    }
    m_available->removeTextRows(rows);
    for (const QString& name : std::as_const(deleted))
        QFile::remove(DataFiles::exclusionListPath(name));
    listsChanged();
    DialogParts::reselectMark(m_availableList, mark);
}

// Reads an existing list's numbers into the numbers view and shows its page.
void CExclusion_Wizard::readNumbersOf(const QString& name)
{
    if (isBusy())
        return;
    m_wait.begin();
    m_worker->start([path = DataFiles::exclusionListPath(name)] { return DataFiles::ReadExclusionFile(path); },
                    [this, name](std::optional<QStringList> lines) {
                        m_wait.end();
                        if (!lines) {
                            Ui::notice(this, kFileError);
                            return;
                        }
                        m_name->setText(name);
                        m_name->setReadOnly(true);
                        m_numbers->setTexts(*lines);
                        m_editStep = 3;
                        showNumbersPage(name);
                    });
}

// --- Numbers page ---------------------------------------------------------------

void CExclusion_Wizard::OnBrowse()
{
    const QString path = Ui::getOpenFileName(this, QString(), QString(), DialogParts::fileDialogFilter(kFileFilter));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        Ui::messageBox(this, QStringLiteral("File does not exist on selected location."), QStringLiteral("Warning"),
                       Ui::Buttons::Ok, Ui::Icon::Warning);
        return;
    }
    const QString ext = extensionOf(path);
    if (ext != QLatin1String("txt") && !Workbook::isSpreadsheetExtension(ext)) {
        Ui::notice(this, QStringLiteral("Please select a valid file."));
        return;
    }
    m_path->setText(QFileInfo(path).absoluteFilePath());
}

void CExclusion_Wizard::OnLoad()
{
    if (isBusy())
        return;
    const QString path = m_path->text();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Ui::notice(this, QStringLiteral("Please select a valid file path."));
        m_path->setFocus();
        return;
    }
    const int countBefore = m_numbers->count();
    m_wait.begin();
    ExclusionImportContext context;
    context.owner = this;
    context.setWaitVisible = [this](bool visible) {
        onGuiThread([this, visible] {
            if (QDialog* wait = m_wait.window())
                wait->setVisible(visible);
        });
    };
    m_worker->start(
        [path, context, existing = m_numbers->texts()] {
            ImportResult result;
            ExclusionLists::CandidateFilter filter(existing);
            auto sink = [&filter](const QString& candidate) { filter.offer(candidate); };
            const QString ext = extensionOf(path);
            if (Workbook::isSpreadsheetExtension(ext)) {
                if (!LoadExclusionCandidatesFromWorkbook(context, path, sink))
                    result.outcome = Ended;
            } else {
                switch (ExclusionLists::ReadTextCandidatesFromFile(path, sink)) {
                case ExclusionLists::TextFileStatus::NotAnsi:
                    result.outcome = NotAnsi;
                    break;
                case ExclusionLists::TextFileStatus::Empty:
                    result.outcome = EmptyFile;
                    break;
                case ExclusionLists::TextFileStatus::Ok:
                case ExclusionLists::TextFileStatus::Unreadable:
                    break;
                }
            }
            result.added = filter.accepted();
            return result;
        },
        [this, countBefore](ImportResult result) { loadFinished(result.outcome, result.added, countBefore); },
        QThread::HighestPriority);
}

void CExclusion_Wizard::loadFinished(int outcome, const QStringList& added, int countBefore)
{
    if (outcome == Loaded && !added.isEmpty())
        m_numbers->insertTexts(0, added);
    m_wait.end();
    switch (outcome) {
    case NotAnsi:
        Ui::notice(this, QStringLiteral("Please select the ANSI encoded text file."));
        return;
    case EmptyFile:
        Ui::notice(this, QStringLiteral("File is empty."));
        return;
    case Ended:
        return;
    default:
        break;
    }
    if (m_numbers->count() == 0 || m_numbers->count() == countBefore)
        Ui::notice(this, QStringLiteral("Either file is corrupted or selected file contains invalid characters.\n\nOR"
                                        "\n\nNumbers are skipped because of duplicate number already exits in the "
                                        "exclusion list."));
}

void CExclusion_Wizard::OnFinish()
{
    if (isBusy())
        return;
    if (m_numbers->count() == 0) {
        Ui::notice(this, kNumbersEmpty);
        return;
    }
    const QString name = m_name->text().trimmed();
    DataFiles::EnsureDataFiles();
    if (!Ui::confirm(this, QStringLiteral("Are you sure you want to continue?")))
        return;
    const bool isNew = m_addStep == 2;
    m_wait.begin();
    m_worker->start(
        [name, isNew, numbers = m_numbers->texts()] {
            // The number file first: a new list is never listed without its numbers, and a
            // number file left over from an earlier crash is replaced, not appended to.
            if (!DataFiles::RewriteExclusionFile(DataFiles::exclusionListPath(name), numbers).isEmpty())
                return false;
            return !isNew || DataFiles::AppendExclusionLines(DataFiles::exclusionIndexPath(), {name});
        },
        [this, name, isNew](bool saved) {
            if (!saved) {
                m_wait.end();
                Ui::notice(this, kFileError);
                return;
            }
            if (isNew)
                m_available->appendText(name);
            m_numbers->clear();
            resetSteps();
            m_name->setReadOnly(false);
            showPage(Page::List);
            m_numbersChanged = false;
            m_number->clear();
            m_path->clear();
            m_availableList->setFocus();
            listsChanged();
            m_wait.end();
        });
}
