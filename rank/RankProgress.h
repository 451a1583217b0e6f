#pragma once
// What a scan reports while it runs, and where it learns that the user cancelled. The progress
// dialog implements it in the window, the command-line tool on the terminal.

#include <mutex>
#include <string>

class IRankProgress {
public:
    virtual ~IRankProgress() = default;

    // One page about to be read: bar position 0..100, the page line ("Google Page 3/20") and the
    // target URL for the caption. Called with g_hProgressLock held, so the three belong together.
    virtual void ReportPage(int percent, const std::string& pageLine,
                            const std::string& urlCaption) = 0;

    // The calls the result services have billed in this run so far, after each billed call.
    // From any worker thread, without a lock; must not wait for the thread running the run.
    virtual void ReportCalls(int total) { (void)total; }

    // True once the user has asked to stop; read before every page without a lock.
    virtual bool IsCancelled() const = 0;
};

// Held by a scan while it reports, so one scan's three values are never mixed with another's.
extern std::mutex g_hProgressLock;
