#pragma once
// How fast a run asks each result service, and what it has spent: the calls in flight per
// service, an optional rate, a pause after the service said "too many requests", a service whose
// quota is used up, the run's budget of calls and the calls each service billed. One per run,
// shared by all its scans.

#include "sources/Source.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tw::sources {

// The five providers, in the order of Provider (classic left out).
inline constexpr int kProviderCount = 5;
inline constexpr int kMaxParallel = 64;
// 0 for Serper, 4 for SearXNG; -1 for classic.
int providerIndex(Provider provider);
Provider providerAt(int index);

struct ServicePace {
    int parallel = 1;       // calls in flight at most, 1..kMaxParallel
    double perSecond = 0.0; // calls started per second at most; 0: no limit
    bool operator==(const ServicePace&) const = default;
};

// What each provider's pages allow a paying client (Brave: its free plan's one call a second).
ServicePace defaultPace(Provider provider);

class ServiceGates {
public:
    // maxCalls: the run's budget of calls sent; 0 for none.
    ServiceGates(const std::array<ServicePace, kProviderCount>& paces, long maxCalls);
    ServiceGates(const ServiceGates&) = delete;
    ServiceGates& operator=(const ServiceGates&) = delete;

    enum class Admit { Go, Cancelled, Budget, QuotaGone };
    // Waits for a free place among the service's calls in flight, its rate and the end of a
    // rate-limit pause, then takes the place and one call of the budget. Anything but Go leaves
    // nothing taken; QuotaGone puts the provider's words into quotaMessage.
    Admit acquire(Provider provider, const std::function<bool()>& cancelled,
                  std::string* quotaMessage = nullptr);
    // Gives the place back after the call's answer (or its failure).
    void release(Provider provider);

    // The service asked us to wait: no call of it starts before ms from now.
    void holdBack(Provider provider, int ms);
    // The service's quota is used up: no further call goes to it in this run.
    void quotaGone(Provider provider, const std::string& message);
    // A call the provider bills (it answered 2xx).
    void billed(Provider provider);
    // Said once per run, however many scans meet it (a country a provider does not know).
    void notice(const std::string& text);

    int calls(Provider provider) const;
    int totalCalls() const;
    long sent() const;
    bool budgetReached() const;
    long budget() const { return m_maxCalls; }
    int mostInFlight(Provider provider) const;
    std::vector<std::string> notices() const;

    // Called (outside the gates' lock, on the calling thread) with the run's billed calls after
    // each billed call.
    std::function<void(int total)> m_onBilled;

private:
    using Clock = std::chrono::steady_clock;
    struct Service {
        ServicePace pace;
        int inFlight = 0;
        int mostInFlight = 0;
        int billed = 0;
        Clock::time_point nextStart{};
        Clock::time_point heldUntil{};
        bool quotaGone = false;
        std::string quotaMessage;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::array<Service, kProviderCount> m_services;
    long m_maxCalls = 0;
    long m_sent = 0;
    std::vector<std::string> m_notices;
};

} // namespace tw::sources
