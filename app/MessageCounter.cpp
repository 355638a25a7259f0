#include "MessageCounter.h"

#include "app/core/NumberRules.h"
#include "app/controls/CLong_SMS_Dlg.h"
#include "app/controls/CMy_Sel_All_Edit.h"
#include "device/modem/PduCodec.h"

#include <QLabel>

MessageCounter::MessageCounter(CMy_Sel_All_Edit* edit, QLabel* counter, QObject* parent)
    : QObject(parent), m_edit(edit), m_counter(counter)
{
    connect(edit, &CMy_Sel_All_Edit::textChanged, this, &MessageCounter::update);
}

void MessageCounter::showWithoutWarning()
{
    m_counter->setText(CounterTextWithoutWarning(m_edit->text()));
    m_counter->setToolTip(Pdu::counterTip(m_edit->text()));
}

void MessageCounter::update()
{
    m_counter->setToolTip(Pdu::counterTip(m_edit->text()));
    const CounterState state = UpdateCharacterCounter(m_edit->text(), m_counter->text());
    m_counter->setText(state.text);
    if (!state.showWarning || m_inWarning)
        return;
    m_inWarning = true;
    CLong_SMS_Dlg warning(m_edit->window(), kSmsLength);
    if (warning.exec() == QDialog::Accepted)
        m_counter->setText(state.textIfAccepted);
    m_inWarning = false;
}
