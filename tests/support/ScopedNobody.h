#pragma once
// Runs what follows as user "nobody" (file permissions then bind) for as long as it lives, when
// the test runs as the superuser; the real user stays, so the change can be undone.

#include <unistd.h>

namespace tw::test {

class ScopedNobody {
public:
    ScopedNobody() {
        if (geteuid() == 0)
            m_switched = setegid(65534) == 0 && seteuid(65534) == 0;
    }
    ~ScopedNobody() {
        if (m_switched) {
            [[maybe_unused]] const int u = seteuid(0);
            [[maybe_unused]] const int g = setegid(0);
        }
    }
    ScopedNobody(const ScopedNobody&) = delete;
    ScopedNobody& operator=(const ScopedNobody&) = delete;

    // Whether permission bits now bind.
    bool binds() const { return geteuid() != 0; }

private:
    bool m_switched = false;
};

} // namespace tw::test
