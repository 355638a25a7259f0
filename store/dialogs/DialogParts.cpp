#include "DialogParts.h"

#include "app/controls/SupportLinks.h"
#include "app/controls/CColorStatic.h"
#include "app/controls/CMyListCtrl.h"
#include "app/controls/Theme.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>

namespace DialogParts {

QPushButton* button(QWidget* parent, int id, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::number(id));
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, int id, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::number(id));
    l->setAccessibleName(text.trimmed());
    return l;
}

void setLiveText(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
}

CColorStatic* supportLink(QWidget* parent)
{
    auto* link =
        CColorStatic::makeLink(QStringLiteral("Need help? Click here to contact us."), QStringLiteral("1029"), parent);
    QObject::connect(link, &CColorStatic::clicked, link,
                     [link] { Support::openPage(link->window(), Support::website() + QStringLiteral("support")); });
    return link;
}

CMyListCtrl* listView(QWidget* parent, int id, const QString& name)
{
    auto* list = new CMyListCtrl(parent);
    list->setObjectName(QString::number(id));
    list->setAccessibleName(name);
    list->horizontalHeader()->setStretchLastSection(true);
    return list;
}

QString fileDialogFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty())
            break;
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out.append(parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

int selectionMark(const CMyListCtrl* list)
{
    const QModelIndex current = list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void reselectMark(CMyListCtrl* list, int mark)
{
    list->clearSelection();
    if (mark >= 0 && list->model() && mark < list->model()->rowCount())
        list->selectOnly(mark);
}

WaitState::WaitState(QDialog* dialog, WindowFactory factory) : m_dialog(dialog), m_factory(std::move(factory)) {}

WaitState::~WaitState()
{
    if (m_depth > 0)
        QApplication::restoreOverrideCursor();
    delete m_window;
}

void WaitState::begin()
{
    if (m_depth++ > 0)
        return;
    // The controls, not the dialog: a disabled dialog would grey its wait window too.
    for (QWidget* child : m_dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && child->isEnabled()) {
            child->setEnabled(false);
            m_disabled.append(child);
        }
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_window = m_factory(m_dialog);
}

void WaitState::end()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    QApplication::restoreOverrideCursor();
    if (m_window) {
        m_window->hide();
        m_window->deleteLater();
    }
    for (const QPointer<QWidget>& w : std::as_const(m_disabled)) {
        if (w)
            w->setEnabled(true);
    }
    m_disabled.clear();
    if (m_dialog->isVisible()) {
        m_dialog->raise();
        m_dialog->activateWindow();
    }
}

} // namespace DialogParts
