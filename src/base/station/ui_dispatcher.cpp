#include "base/station/ui_dispatcher.h"

#include <QMetaObject>
#include <QThread>

namespace kelvor {

struct UiDispatcher::Waiter {
    std::mutex m;
    std::condition_variable cv;
    bool running = false;
    bool done = false;
    bool abandoned = false;
};

UiDispatcher::UiDispatcher(QObject* parent) : QObject(parent) {}

UiDispatcher::~UiDispatcher() { shutdown(); }

bool UiDispatcher::onUiThread() const { return QThread::currentThread() == thread(); }

bool UiDispatcher::isShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

void UiDispatcher::post(std::function<void()> work) {
    if (isShutDown()) return;
    // Work still queued at shutdown is dropped: what it refers to may be gone by then.
    QMetaObject::invokeMethod(
        this, [this, work = std::move(work)] { if (!isShutDown()) work(); }, Qt::QueuedConnection);
}

bool UiDispatcher::send(std::function<void()> work) {
    if (onUiThread()) {
        work();
        return true;
    }
    auto w = std::make_shared<Waiter>();
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return false;
        waiters_.insert(w);
    }
    QMetaObject::invokeMethod(
        this,
        [w, work = std::move(work)] {
            {
                std::lock_guard lock(w->m);
                if (w->abandoned) return;
                w->running = true;
            }
            work();
            std::lock_guard lock(w->m);
            w->done = true;
            w->cv.notify_all();
        },
        Qt::QueuedConnection);

    bool ran;
    {
        std::unique_lock lock(w->m);
        w->cv.wait(lock, [&] { return w->done || w->abandoned; });
        ran = w->done;
    }
    std::lock_guard lock(mutex_);
    waiters_.erase(w);
    return ran;
}

void UiDispatcher::shutdown() {
    std::set<std::shared_ptr<Waiter>> waiting;
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        waiting = waiters_;
    }
    for (const auto& w : waiting) {
        std::unique_lock lock(w->m);
        // Work already running on this thread finishes normally; anything still queued is dropped.
        if (!w->running) {
            w->abandoned = true;
            w->cv.notify_all();
        }
    }
}

} // namespace kelvor
