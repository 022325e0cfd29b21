#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace platform {

// Keeps the machine awake while a movie or image run is active: logind's
// Inhibit("sleep:idle", ..., "block") lock over the system D-Bus, held as a file descriptor
// until Release() or destruction. A refusal (no logind, no permission) changes nothing else.
// Window thread.
class PowerInhibit {
public:
    PowerInhibit() = default;
    ~PowerInhibit();
    PowerInhibit(const PowerInhibit &) = delete;
    PowerInhibit &operator=(const PowerInhibit &) = delete;

    // why: shown by the desktop in its list of inhibitors. True when the lock is held.
    bool Acquire(const QString &why);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

    // Test seam: returns a descriptor the inhibitor owns (closed on Release), or nullopt for a
    // refusal. nullptr restores logind. Returns the backend set before.
    using Backend = std::function<std::optional<int>(const QString &why)>;
    static Backend SetBackend(Backend backend);

private:
    int m_fd = -1;
};

} // namespace platform
