#pragma once
// Reads a named pipe on a thread of its own, as another program reading the pipe would, until
// its writer closes it. Gives up when no writer comes for a long while, so that a test whose
// writer never opens the pipe fails instead of hanging.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tw::test {

class FifoReader {
public:
    explicit FifoReader(const QString& path)
        : m_thread([this, native = QFile::encodeName(path)] { Run(native); }) {}
    ~FifoReader() {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    // Waits until the writer has closed the pipe (or none came), then gives what was read.
    QByteArray Result() {
        if (m_thread.joinable())
            m_thread.join();
        return m_data;
    }

private:
    void Run(const QByteArray& path) {
        // Non-blocking, so that the open does not wait for a writer that may never come.
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!m_bStop && std::chrono::steady_clock::now() < giveUp) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char buffer[65536];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                m_data.append(buffer, n);
            else if (n == 0)
                break; // the writer came and closed it
        }
        ::close(fd);
    }

    std::atomic<bool> m_bStop{false};
    QByteArray m_data;
    std::thread m_thread;
};

} // namespace tw::test
