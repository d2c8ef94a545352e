#pragma once
// Delivery of worker-thread work to the user-interface thread. post() queues and returns; send()
// runs the work on the UI thread and blocks only the calling worker until it is done. After
// shutdown() every waiting or later send() returns false at once, so closing the window never
// leaves a worker (or the process) hanging.
#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace kelvor {

class UiDispatcher : public QObject {
    Q_OBJECT
public:
    // Create on the UI thread.
    explicit UiDispatcher(QObject* parent = nullptr);
    ~UiDispatcher() override;

    bool onUiThread() const;
    void post(std::function<void()> work);
    // Returns true when the work ran; false when the dispatcher was shut down first.
    bool send(std::function<void()> work);
    void shutdown();
    bool isShutDown() const;

private:
    struct Waiter;
    mutable std::mutex mutex_;
    bool shutDown_ = false;
    std::set<std::shared_ptr<Waiter>> waiters_;
};

} // namespace kelvor
