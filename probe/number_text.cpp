#include "probe/number_text.h"

#include <charconv>
#include <limits>
#include <algorithm>

namespace {

bool IsBlank(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

int32_t ParseIntPrefix(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text.at(i).unicode()))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, kLimit - 1));
}

double ParseDoublePrefix(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(static_cast<unsigned char>(text[i])))
        ++i;
    const size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    size_t end = i;
    // An exponent counts only when at least one digit follows it.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j]))
                ++j;
            end = j;
        }
    }
    // from_chars takes no leading "+".
    size_t first = start;
    bool negative = false;
    if (text[first] == '+' || text[first] == '-') {
        negative = text[first] == '-';
        ++first;
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data() + first, text.data() + end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Keep the C library's direction: huge numbers become infinite, tiny ones zero.
        const std::string_view number = text.substr(first, end - first);
        const bool tiny = number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos;
        const bool huge = !tiny;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

double ParseDoublePrefix(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return ParseDoublePrefix(std::string_view(bytes.constData(), size_t(bytes.size())));
}
