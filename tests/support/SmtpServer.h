#pragma once
// A small SMTP server on 127.0.0.1 for the mail tests: plain TCP, one session at a time, no TLS
// (so a client that insists on STARTTLS is turned away by the client itself). It records what
// each session sent and can refuse every login.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

class SmtpServer {
public:
    struct Options {
        bool offerAuth = false;  // EHLO lists AUTH PLAIN LOGIN
        bool acceptLogin = true; // else every AUTH is answered 535
    };
    struct Mail {
        std::string from;
        std::vector<std::string> to;
        std::string data; // as the client sent it, dot-stuffing undone, CR LF kept
    };

    explicit SmtpServer(Options options) : m_options(options) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_listen, 4) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SmtpServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listen >= 0)
            ::close(m_listen);
    }
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    int port() const { return m_port; }
    std::vector<Mail> mails() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_mails;
    }
    std::vector<std::string> commands() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_commands;
    }
    int sessions() const { return m_sessions.load(); }

private:
    void Serve() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            ++m_sessions;
            Session(client);
            ::close(client);
        }
    }

    // The next CR LF line (without it); false when the client is gone or silent for 5 s.
    bool ReadLine(int fd, std::string& buffer, std::string* line) {
        for (;;) {
            if (const std::size_t end = buffer.find("\r\n"); end != std::string::npos) {
                *line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (m_stop || ::poll(&p, 1, 5000) <= 0 || buffer.size() > (1 << 20))
                return false;
            char chunk[4096];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            buffer.append(chunk, std::size_t(n));
        }
    }

    static void Say(int fd, const std::string& text) {
        [[maybe_unused]] ssize_t n = ::write(fd, text.data(), text.size());
    }

    void Session(int fd) {
        std::string buffer, line;
        Mail mail;
        Say(fd, "220 test.example ESMTP\r\n");
        while (ReadLine(fd, buffer, &line)) {
            std::string verb = line.substr(0, line.find(' '));
            for (char& c : verb)
                c = char(std::toupper((unsigned char)c));
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_commands.push_back(line);
            }
            if (verb == "EHLO") {
                Say(fd, std::string("250-test.example\r\n") +
                            (m_options.offerAuth ? "250-AUTH PLAIN LOGIN\r\n" : "") +
                            "250 8BITMIME\r\n");
            } else if (verb == "HELO" || verb == "NOOP" || verb == "RSET") {
                Say(fd, "250 ok\r\n");
            } else if (verb == "AUTH") {
                if (line.find(' ', 5) == std::string::npos) { // no initial response
                    Say(fd, "334 \r\n");
                    if (!ReadLine(fd, buffer, &line))
                        return;
                }
                Say(fd, m_options.acceptLogin ? "235 2.7.0 ok\r\n"
                                              : "535 5.7.8 credentials invalid\r\n");
            } else if (verb == "MAIL") {
                mail = Mail{};
                mail.from = line.substr(line.find(':') + 1);
                Say(fd, "250 ok\r\n");
            } else if (verb == "RCPT") {
                mail.to.push_back(line.substr(line.find(':') + 1));
                Say(fd, "250 ok\r\n");
            } else if (verb == "DATA") {
                Say(fd, "354 go on\r\n");
                while (ReadLine(fd, buffer, &line) && line != ".")
                    mail.data += (line.starts_with("..") ? line.substr(1) : line) + "\r\n";
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_mails.push_back(mail);
                }
                Say(fd, "250 queued\r\n");
            } else if (verb == "QUIT") {
                Say(fd, "221 bye\r\n");
                return;
            } else {
                Say(fd, "502 not here\r\n");
            }
        }
    }

    Options m_options;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sessions{0};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Mail> m_mails;
    std::vector<std::string> m_commands;
};

} // namespace tw::test
