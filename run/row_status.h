#pragma once

// Status code of a list row. The list stores and colours it; the windows look up its text.
enum class RowStatus : int {
    Waiting = 0,
    Added = 1,
    Converting = 2,
    Failed = 3,
    Complete = 4,
};
