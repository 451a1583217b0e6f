#include "sources/ServiceGates.h"

#include <algorithm>

namespace tw::sources {

int providerIndex(Provider provider) {
    return provider == Provider::Classic ? -1 : int(provider) - int(Provider::Serper);
}

Provider providerAt(int index) {
    return Provider(index + int(Provider::Serper));
}

ServicePace defaultPace(Provider provider) {
    switch (provider) {
    case Provider::Serper:
    case Provider::SerpApi:
        return {5, 0.0};
    case Provider::DataForSeo:
        return {10, 0.0};
    case Provider::Brave:
        return {1, 1.0};
    case Provider::Searxng:
        return {2, 0.0};
    case Provider::Classic:
        break;
    }
    return {1, 0.0};
}

ServiceGates::ServiceGates(const std::array<ServicePace, kProviderCount>& paces, long maxCalls)
    : m_maxCalls(std::max(0L, maxCalls)) {
    for (int i = 0; i < kProviderCount; ++i) {
        m_services[i].pace = paces[i];
        m_services[i].pace.parallel = std::clamp(paces[i].parallel, 1, kMaxParallel);
        m_services[i].pace.perSecond = std::max(0.0, paces[i].perSecond);
    }
}

ServiceGates::Admit ServiceGates::acquire(Provider provider, const std::function<bool()>& cancelled,
                                          std::string* quotaMessage) {
    const int i = providerIndex(provider);
    if (i < 0)
        return Admit::Go;
    std::unique_lock<std::mutex> lock(m_mutex);
    Service& s = m_services[i];
    for (;;) {
        if (s.quotaGone) {
            if (quotaMessage)
                *quotaMessage = s.quotaMessage;
            return Admit::QuotaGone;
        }
        if (m_maxCalls > 0 && m_sent >= m_maxCalls)
            return Admit::Budget;
        if (cancelled && cancelled())
            return Admit::Cancelled;
        const Clock::time_point now = Clock::now();
        const Clock::time_point due = std::max(s.nextStart, s.heldUntil);
        if (s.inFlight < s.pace.parallel && now >= due) {
            ++s.inFlight;
            s.mostInFlight = std::max(s.mostInFlight, s.inFlight);
            ++m_sent;
            if (s.pace.perSecond > 0) {
                const auto interval = std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(1.0 / s.pace.perSecond));
                s.nextStart = std::max(now, s.nextStart) + interval;
            }
            return Admit::Go;
        }
        // Woken by a place given back; the cancel flag and the time are looked at every 20 ms.
        Clock::time_point until = now + std::chrono::milliseconds(20);
        if (s.inFlight < s.pace.parallel)
            until = std::min(until, due);
        m_changed.wait_until(lock, until);
    }
}

void ServiceGates::release(Provider provider) {
    const int i = providerIndex(provider);
    if (i < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_services[i].inFlight = std::max(0, m_services[i].inFlight - 1);
    }
    m_changed.notify_all();
}

void ServiceGates::holdBack(Provider provider, int ms) {
    const int i = providerIndex(provider);
    if (i < 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    Service& s = m_services[i];
    s.heldUntil = std::max(s.heldUntil, Clock::now() + std::chrono::milliseconds(std::max(0, ms)));
}

void ServiceGates::quotaGone(Provider provider, const std::string& message) {
    const int i = providerIndex(provider);
    if (i < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Service& s = m_services[i];
        if (!s.quotaGone) {
            s.quotaGone = true;
            s.quotaMessage = message;
        }
    }
    m_changed.notify_all();
}

void ServiceGates::billed(Provider provider) {
    const int i = providerIndex(provider);
    if (i < 0)
        return;
    int total = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_services[i].billed;
        for (const Service& s : m_services)
            total += s.billed;
    }
    if (m_onBilled)
        m_onBilled(total);
}

void ServiceGates::notice(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_notices.begin(), m_notices.end(), text) == m_notices.end() &&
        m_notices.size() < 100)
        m_notices.push_back(text);
}

int ServiceGates::calls(Provider provider) const {
    const int i = providerIndex(provider);
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < 0 ? 0 : m_services[i].billed;
}

int ServiceGates::totalCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int total = 0;
    for (const Service& s : m_services)
        total += s.billed;
    return total;
}

long ServiceGates::sent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

bool ServiceGates::budgetReached() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxCalls > 0 && m_sent >= m_maxCalls;
}

int ServiceGates::mostInFlight(Provider provider) const {
    const int i = providerIndex(provider);
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < 0 ? 0 : m_services[i].mostInFlight;
}

std::vector<std::string> ServiceGates::notices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notices;
}

} // namespace tw::sources
