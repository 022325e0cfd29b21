#pragma once

#include <QString>

#include <functional>

namespace platform {

// The system's answer to a power-off request.
struct PowerOffAnswer {
    bool accepted = false;
    QString refusal; // why not, in the system's words (the D-Bus error's text)
    explicit operator bool() const { return accepted; }
};

// Powers the computer off at the end of a run: logind's PowerOff over the system D-Bus, not
// interactive, so a refusal (no permission, other sessions open, no logind) changes nothing
// and comes back with its reason for the caller to show. Window thread; blocks up to a few
// seconds.
//
// Tests replace the real call with SetPowerOffHandler (or ScopedPowerOff); as a last guard the
// real call also refuses under the offscreen platform that tests run on.
PowerOffAnswer PowerOff();

using PowerOffHandler = std::function<PowerOffAnswer()>;
// Replaces the real call; nullptr restores it. Returns the handler that was set before.
PowerOffHandler SetPowerOffHandler(PowerOffHandler handler);

// For tests: counts power-off requests and answers them with a fixed answer for its lifetime.
class ScopedPowerOff {
public:
    explicit ScopedPowerOff(bool accepted = true, const QString &refusal = {});
    ~ScopedPowerOff();
    ScopedPowerOff(const ScopedPowerOff &) = delete;
    ScopedPowerOff &operator=(const ScopedPowerOff &) = delete;
    int Requests() const { return *m_requests; }

private:
    int *m_requests;
    PowerOffHandler m_previous;
};

} // namespace platform
