#pragma once

#include "DialogParts.h"
#include "DialogWorker.h"

#include <functional>
#include <utility>

class QObject;

namespace DialogParts {

// A data dialog's first reading of its file: once, from the event loop after
// the dialog's first show, so that the dialog is on the screen before the wait
// window comes up in front of it.
class FirstShowLoad
{
public:
    explicit FirstShowLoad(QObject* dialog) : m_dialog(dialog) {}
    FirstShowLoad(const FirstShowLoad&) = delete;
    FirstShowLoad& operator=(const FirstShowLoad&) = delete;

    // For the dialog's showEvent: the first show queues `load`, later shows do nothing.
    void shown(std::function<void()> load);

    // For `load`: runs `read` on the worker behind the wait window and hands its
    // result to `loaded` on the GUI thread, the controls still disabled. Then the
    // load is done, the wait ends and `ready` runs (focus, selection).
    // Meanwhile the dialog is busy, and the data dialogs do not close while busy;
    // destroying the dialog joins the worker and drops what it read.
    template <typename Read, typename Loaded>
    void readOnWorker(DialogWorker* worker, WaitState& wait, Read read, Loaded loaded, std::function<void()> ready = {})
    {
        wait.begin();
        worker->start(std::move(read),
                      [this, &wait, loaded = std::move(loaded), ready = std::move(ready)](auto result) mutable {
                          loaded(std::move(result));
                          m_done = true;
                          wait.end();
                          if (ready)
                              ready();
                      });
    }

    // For a `load` that reads on the GUI thread, once it has read.
    void finish() { m_done = true; }

    bool isDone() const { return m_done; }

private:
    QObject* m_dialog;
    bool m_started = false;
    bool m_done = false;
};

} // namespace DialogParts
