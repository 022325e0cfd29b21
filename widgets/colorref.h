#pragma once

#include <QColor>
#include <cstdint>

// Colours reach the widgets as COLORREF values, 0x00BBGGRR: red in the lowest byte.
inline QColor FromColorRef(std::uint32_t ref)
{
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

inline std::uint32_t ToColorRef(const QColor &color)
{
    return std::uint32_t(color.red()) | (std::uint32_t(color.green()) << 8) | (std::uint32_t(color.blue()) << 16);
}
