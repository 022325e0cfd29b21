#pragma once

#include <QString>

// " 01:02:05" for 3725 seconds, as both pages' time labels show it after their title; hours
// may grow past two digits.
QString ElapsedText(int seconds);
