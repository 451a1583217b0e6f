#pragma once
// Runs a function on the thread of a receiver object and waits until it has run: how a worker
// changes what belongs to the window's thread. The receiver's thread must be running an event
// loop (the ranking run's pump does that).
//
// The hand-over goes through a queue of our own under a std::mutex and only wakes the receiving
// thread through Qt, so that every step between the two threads is one the thread checker sees.

#include <QObject>

#include <functional>

namespace tw {

// Called on the receiving thread before workers start. Connecting from a worker works too, but
// Qt guards its connection lists with locks the thread checker cannot see, so it would report
// the receiving thread reading the new connection as a race.
void PrepareBlockingCalls();

void BlockingCallImpl(QObject* receiver, const std::function<void()>& function);

template <typename Function> void BlockingCall(QObject* receiver, Function&& function) {
    BlockingCallImpl(receiver, std::function<void()>(std::forward<Function>(function)));
}

} // namespace tw
