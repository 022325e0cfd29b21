#include "movie/movie_time_left.h"

#include "page/progress_text.h"

#include <algorithm>
#include <cmath>

namespace {

// Looks at a moving file before its own speed counts.
constexpr int kFileTicksTrusted = 3;

} // namespace

double SourceCost(int width, int height, double frameRate, int outWidth, int outHeight)
{
    if (width <= 0 || height <= 0)
        return 0.05;
    const double rate = frameRate > 0.0 ? frameRate : 30.0;
    const double outPixels = std::max(1, outWidth) * double(std::max(1, outHeight)) * 30.0;
    return 1.0 + 0.1 * (double(width) * height * rate) / outPixels;
}

void MovieTimeLeft::Begin(const QList<MovieLoad> &loads)
{
    *this = MovieTimeLeft{};
    m_loads = loads;
}

void MovieTimeLeft::FileStarted(int index, double now)
{
    if (m_lastEndAt >= 0.0)
        m_dead += std::max(0.0, now - m_lastEndAt);
    ++m_filesStarted;
    m_fileStartedAt = now;
    m_current = index;
    m_position = 0.0;
    m_lastTickAt = now;
    m_now = std::max(m_now, now);
    m_fileMovingTicks = 0;
    m_fileMovingSince = now;
    m_fileStartPosition = 0.0;
}

void MovieTimeLeft::Tick(double position, double now)
{
    if (m_current < 0 || m_current >= m_loads.size())
        return;
    const double length = m_loads[m_current].seconds;
    position = std::clamp(position, 0.0, length > 0.0 ? length : position);
    // The file's own speed counts from the look before it first moved: the engine starting
    // up is no part of it.
    if (m_fileMovingTicks == 0 && position > 0.0) {
        m_fileStartPosition = m_position;
        m_fileMovingSince = m_lastTickAt;
        m_dead += m_fileMovingSince - m_fileStartedAt;
    }
    if (position > 0.0 || m_fileMovingTicks > 0)
        ++m_fileMovingTicks;
    m_position = std::max(m_position, position);
    m_lastTickAt = now;
    m_now = std::max(m_now, now);
}

void MovieTimeLeft::FileEnded(bool converted, double now)
{
    if (m_current >= 0 && m_current < m_loads.size()) {
        m_doneWork += (converted ? m_loads[m_current].seconds : m_position) * m_loads[m_current].cost;
        if (m_fileMovingTicks > 0) {
            m_moving += m_lastTickAt - m_fileMovingSince;
            m_dead += std::max(0.0, now - m_lastTickAt);   // finishing
        } else {
            m_dead += std::max(0.0, now - m_fileStartedAt);   // never moved: all of it
        }
    }
    m_lastEndAt = now;
    m_current = -1;
}

double MovieTimeLeft::DeadPerFile() const
{
    return m_filesStarted > 0 ? m_dead / m_filesStarted : 0.0;
}

double MovieTimeLeft::Rate() const
{
    double moving = m_moving;
    double work = m_doneWork;
    if (m_current >= 0 && m_fileMovingTicks > 0) {
        moving += m_lastTickAt - m_fileMovingSince;
        work += m_position * m_loads[m_current].cost;
    }
    return moving > 0.0 ? work / moving : 0.0;
}

double MovieTimeLeft::FileRate() const
{
    const double seconds = m_now - m_fileMovingSince;
    if (m_current < 0 || m_fileMovingTicks < kFileTicksTrusted || seconds <= 0.0)
        return 0.0;
    return (m_position - m_fileStartPosition) * m_loads[m_current].cost / seconds;
}

std::optional<int> MovieTimeLeft::FileLeft() const
{
    if (m_current < 0 || m_loads[m_current].seconds <= 0.0)
        return std::nullopt;
    const double rate = FileRate() > 0.0 ? FileRate() : Rate();
    if (rate <= 0.0)
        return std::nullopt;
    const MovieLoad &load = m_loads[m_current];
    return int(std::lround(std::max(0.0, load.seconds - m_position) * load.cost / rate));
}

std::optional<int> MovieTimeLeft::BatchLeft() const
{
    const std::optional<int> file = FileLeft();
    const double rate = Rate();
    if (!file || rate <= 0.0)
        return std::nullopt;
    double later = 0.0;
    for (int i = m_current + 1; i < m_loads.size(); ++i) {
        if (m_loads[i].seconds <= 0.0)
            return std::nullopt;   // a file of unknown length: no honest figure
        later += m_loads[i].seconds * m_loads[i].cost;
    }
    const int files = int(m_loads.size()) - m_current - 1;
    return *file + int(std::lround(later / rate + files * DeadPerFile()));
}

QString TimeLeftText(int fileSeconds, int batchSeconds)
{
    auto one = [](int seconds) { return seconds < 0 ? QStringLiteral(" —") : ElapsedText(seconds); };
    return one(fileSeconds) + QStringLiteral(" /") + one(batchSeconds);
}
