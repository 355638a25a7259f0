#include "FirstShowLoad.h"

#include <QTimer>

namespace DialogParts {

void FirstShowLoad::shown(std::function<void()> load)
{
    if (m_started)
        return;
    m_started = true;
    QTimer::singleShot(0, m_dialog, std::move(load));
}

} // namespace DialogParts
