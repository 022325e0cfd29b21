#pragma once

#include "run/end_text.h"
#include "skin/message_box.h"

// The end texts as the page's summary box asks them: the caption, the information or warning
// sign, and for the end message its two buttons beside OK.
MessageBoxQuestion EndMessage(const RunSummary &summary, const EndReport &report = {});
MessageBoxQuestion KeptSourcesMessage(const QList<KeptSource> &kept);

// The end message's two buttons beside OK.
enum EndMessageAction { kOpenSaveFolder = 0, kOpenLog = 1 };
