#include "base/BlockingCall.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

namespace tw {
namespace {

struct Request {
    QThread* thread;
    const std::function<void()>* function;
    bool done = false;
};

std::mutex g_queueLock;
std::condition_variable g_doneSignal;
std::deque<Request*> g_queue;
std::set<QAbstractEventDispatcher*> g_watched; // dispatchers that run the queue when they wake

// Runs the requests meant for the calling thread.
void RunWaiting() {
    QThread* self = QThread::currentThread();
    for (;;) {
        Request* request = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_queueLock);
            for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
                if ((*it)->thread == self) {
                    request = *it;
                    g_queue.erase(it);
                    break;
                }
            }
        }
        if (!request)
            return;
        (*request->function)();
        std::lock_guard<std::mutex> lock(g_queueLock);
        request->done = true;
        g_doneSignal.notify_all();
    }
}

// Makes the dispatcher run the queue each time its thread wakes. Call with g_queueLock held.
void WatchLocked(QAbstractEventDispatcher* dispatcher) {
    if (!g_watched.insert(dispatcher).second)
        return;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, dispatcher, &RunWaiting,
                     Qt::DirectConnection);
    QObject::connect(dispatcher, &QObject::destroyed, [dispatcher] {
        std::lock_guard<std::mutex> guard(g_queueLock);
        g_watched.erase(dispatcher);
    });
}

} // namespace

void PrepareBlockingCalls() {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        std::lock_guard<std::mutex> lock(g_queueLock);
        WatchLocked(dispatcher);
    }
}

void BlockingCallImpl(QObject* receiver, const std::function<void()>& function) {
    QThread* target = receiver->thread();
    if (QThread::currentThread() == target) {
        function();
        return;
    }
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(target);
    if (!dispatcher)
        return; // the thread has no event loop: nothing could ever run the change
    Request request{target, &function};
    std::unique_lock<std::mutex> lock(g_queueLock);
    WatchLocked(dispatcher); // normally done already by PrepareBlockingCalls
    g_queue.push_back(&request);
    lock.unlock();
    dispatcher->wakeUp();
    lock.lock();
    g_doneSignal.wait(lock, [&] { return request.done; });
}

} // namespace tw
