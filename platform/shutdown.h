#pragma once

#include <functional>

namespace platform {

// Powers the computer off at the end of a run: logind's PowerOff over the system D-Bus, not
// interactive, so a refusal (no permission, other sessions open, no logind) does nothing and
// shows nothing. Returns whether logind accepted. Window thread; blocks up to a few seconds.
//
// Tests replace the real call with SetPowerOffHandler (or ScopedPowerOff); as a last guard the
// real call also refuses under the offscreen platform that tests run on.
bool PowerOff();

using PowerOffHandler = std::function<bool()>;
// Replaces the real call; nullptr restores it. Returns the handler that was set before.
PowerOffHandler SetPowerOffHandler(PowerOffHandler handler);

// For tests: counts power-off requests and answers them with a fixed result for its lifetime.
class ScopedPowerOff {
public:
    explicit ScopedPowerOff(bool accepted = true);
    ~ScopedPowerOff();
    ScopedPowerOff(const ScopedPowerOff &) = delete;
    ScopedPowerOff &operator=(const ScopedPowerOff &) = delete;
    int Requests() const { return *m_requests; }

private:
    int *m_requests;
    PowerOffHandler m_previous;
};

} // namespace platform
