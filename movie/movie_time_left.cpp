#include "movie/movie_time_left.h"

#include "run/progress_text.h"

#include <algorithm>
#include <cmath>

namespace {

// Looks that found the current file further on before its own speed counts.
constexpr int kFileRisesTrusted = 2;

// Seconds of steady speed that the batch's speed counts for when a kind's own is judged.
constexpr double kKindPriorSeconds = 3.0;

// How fast likeness falls off with the ratio of two kinds' pixel rates, in octaves: half an
// octave apart still counts for 61 %, a whole one (twice the pixels) for 14 %.
constexpr double kLikenessOctaves = 0.5;

constexpr quint64 kSoundKind = 1;

// How much a file of one kind says of the speed of another, from 1 (the same kind) to 0: sources
// of nearly the same pixels per second go at nearly the same speed (a 720p60 camera's files like
// a 1080p30 one's, not like a 360p clip's); sound alone is like nothing else.
double KindLikeness(quint64 a, quint64 b)
{
    if (a == b)
        return 1.0;
    if (a == kSoundKind || b == kSoundKind)
        return 0.0;
    auto pixelRate = [](quint64 kind) {
        return double(kind >> 48) * double((kind >> 32) & 0xffffu) * double(kind & 0xffffffffu) / 100.0;
    };
    const double pa = pixelRate(a), pb = pixelRate(b);
    if (pa <= 0.0 || pb <= 0.0)
        return 0.0;
    const double octaves = std::log2(pa / pb) / kLikenessOctaves;
    return std::exp(-0.5 * octaves * octaves);
}

} // namespace

double SourceCost(int width, int height, double frameRate, int outWidth, int outHeight)
{
    if (width <= 0 || height <= 0)
        return 0.05;
    const double rate = frameRate > 0.0 ? frameRate : 30.0;
    const double outPixels = std::max(1, outWidth) * double(std::max(1, outHeight)) * 30.0;
    return 1.0 + 0.1 * (double(width) * height * rate) / outPixels;
}

quint64 SourceKind(int width, int height, double frameRate)
{
    if (width <= 0 || height <= 0)
        return kSoundKind;
    const quint64 rate = quint64(std::lround(std::max(0.0, frameRate) * 100.0));
    return (quint64(width) << 48) | (quint64(height) << 32) | (rate & 0xffffffffu);
}

void MovieTimeLeft::Begin(const QList<MovieLoad> &loads)
{
    *this = MovieTimeLeft{};
    m_loads = loads;
}

void MovieTimeLeft::SetLoad(int index, const MovieLoad &load)
{
    if (index >= 0 && index < m_loads.size())
        m_loads[index] = load;
}

void MovieTimeLeft::FileStarted(int index, double now)
{
    m_current = index;
    m_gapBefore = m_lastEndAt >= 0.0 ? std::max(0.0, now - m_lastEndAt) : 0.0;
    m_startedAt = now;
    m_position = 0.0;
    m_now = std::max(m_now, now);
    m_moving = false;
    m_lead = 0.0;
    m_rises = 0;
    m_longer = false;
}

void MovieTimeLeft::Tick(double position, double now)
{
    if (m_current < 0 || m_current >= m_loads.size())
        return;
    const double length = m_loads[m_current].seconds;
    // Well past its known length, the file is longer than known (parts joined end to end, each
    // part's clock started again): no honest figure for it.
    m_longer = m_longer || (length > 0.0 && position > length * 1.05 + 2.0);
    position = std::clamp(position, 0.0, length > 0.0 ? length : position);
    if (!m_moving && position > 0.0) {
        m_moving = true;
        m_movingSince = now;
        m_risenAt = now;
        m_lead = position;
    } else if (m_moving && position > m_position) {
        m_risenAt = now;
        ++m_rises;
    }
    m_position = std::max(m_position, position);
    m_now = std::max(m_now, now);
}

void MovieTimeLeft::FileEnded(bool converted, double now)
{
    if (m_current >= 0 && m_current < m_loads.size()) {
        const double cost = CurrentCost();
        m_wholeWork += (converted ? m_loads[m_current].seconds : m_position) * cost;
        m_wholeTime += m_gapBefore + std::max(0.0, now - m_startedAt);
        if (m_moving) {
            if (m_rises > 0) {
                m_startSum += StartOffset();
                ++m_starts;
                const double work = SteadyWork();
                const double time = SteadyTime();
                m_work += work;
                m_workTime += time;
                if (const quint64 kind = m_loads[m_current].kind) {
                    m_kinds[kind].work += work;
                    m_kinds[kind].time += time;
                }
            }
            // A failure's last seconds are no measure of how files finish. The last look that
            // found it further on came a while before the reading ended; that last stretch of
            // reading is counted as work, not as finishing.
            if (converted) {
                const double rate = SteadyRate();
                const double unread = rate > 0.0 ? (m_loads[m_current].seconds - m_position) * cost / rate : 0.0;
                m_finishSum += std::max(0.0, now - m_risenAt - unread);
                ++m_finishes;
            }
        }
    }
    m_lastEndAt = now;
    m_current = -1;
}

double MovieTimeLeft::StartOffset() const
{
    // When the file would have begun at its steady speed: the first look's lead was read
    // faster than that (the queue filling), and a look comes a while after the file moved.
    const double rate = SteadyRate();
    return m_gapBefore + (m_movingSince - m_startedAt) - (rate > 0.0 ? m_lead * CurrentCost() / rate : 0.0);
}

MovieTimeLeft::Model MovieTimeLeft::Fit() const
{
    const bool current = m_current >= 0 && m_moving;
    double work = m_work;
    double time = m_workTime;
    if (current && m_rises > 0) {
        work += SteadyWork();
        time += SteadyTime();
    }
    Model model;
    if (time > 0.0 && work > 0.0) {
        model.rate = work / time;
        if (m_starts > 0)
            model.start = m_startSum / m_starts;
        else if (current && SteadyRate() > 0.0)
            model.start = StartOffset();
        model.finish = m_finishes > 0 ? m_finishSum / m_finishes : 0.0;
        return model;
    }
    // No steady stretch seen yet (short files): the whole time of every file so far, starting
    // and finishing included, is the measure.
    work = m_wholeWork;
    time = m_wholeTime;
    if (current) {
        work += m_position * CurrentCost();
        time += m_gapBefore + (m_now - m_startedAt);
    }
    model.rate = time > 0.0 ? work / time : 0.0;
    return model;
}

double MovieTimeLeft::SteadyRate() const
{
    return m_moving && m_rises > 0 && SteadyTime() > 0.0 ? SteadyWork() / SteadyTime() : 0.0;
}

double MovieTimeLeft::FileRate() const { return m_current >= 0 && m_rises >= kFileRisesTrusted ? SteadyRate() : 0.0; }

double MovieTimeLeft::KindRate(quint64 kind, double batchRate) const
{
    if (!kind || batchRate <= 0.0)
        return batchRate;
    double work = batchRate * kKindPriorSeconds;
    double time = kKindPriorSeconds;
    for (auto it = m_kinds.constBegin(); it != m_kinds.constEnd(); ++it) {
        const double weight = KindLikeness(kind, it.key());
        work += weight * it->work;
        time += weight * it->time;
    }
    return work / time;
}

std::optional<double> MovieTimeLeft::FileSeconds(const Model &model) const
{
    if (m_current < 0 || m_loads[m_current].seconds <= 0.0)
        return std::nullopt;
    const MovieLoad &load = m_loads[m_current];
    const double kindRate = KindRate(load.kind, model.rate);
    const double rate = FileRate() > 0.0 ? FileRate() : kindRate;
    if (rate <= 0.0)
        return std::nullopt;
    if (!m_moving) {
        const double starting = std::max(0.0, model.start - (m_now - m_startedAt));
        return starting + load.seconds * load.cost / kindRate + model.finish;
    }
    if (m_longer)
        return std::nullopt;
    if (m_position >= load.seconds) // all read: finishing
        return std::max(0.0, model.finish - (m_now - m_risenAt));
    return (load.seconds - m_position) * load.cost / rate + model.finish;
}

std::optional<int> MovieTimeLeft::FileLeft() const
{
    const std::optional<double> file = FileSeconds(Fit());
    return file ? std::optional<int>(int(std::lround(*file))) : std::nullopt;
}

std::optional<int> MovieTimeLeft::BatchLeft() const
{
    const Model model = Fit();
    const std::optional<double> file = FileSeconds(model);
    if (!file || model.rate <= 0.0)
        return std::nullopt;
    double later = 0.0;
    for (int i = m_current + 1; i < m_loads.size(); ++i) {
        const MovieLoad &load = m_loads[i];
        if (load.seconds <= 0.0)
            return std::nullopt; // a file of unknown length: no honest figure
        later += std::max(0.0, model.start + load.seconds * load.cost / KindRate(load.kind, model.rate) + model.finish);
    }
    return int(std::lround(*file + later));
}

QString TimeLeftText(int fileSeconds, int batchSeconds)
{
    auto one = [](int seconds) { return seconds < 0 ? QStringLiteral(" —") : ElapsedText(seconds); };
    return one(fileSeconds) + QStringLiteral(" /") + one(batchSeconds);
}
