#pragma once
// The columns' sources as a ranking run uses them: the window and tallowick-rank read them here.

#include "sources/SourceSettings.h"

#include <QStringList>

namespace rank {

// The stored sources and providers' settings. environmentKeys: the keys set in the environment
// (TALLOWICK_SERPER_KEY, ...) win over the stored ones, for scheduled runs of tallowick-rank.
// A stored source that cannot be read leaves its column classic and adds a line to problems.
// The slots are named after the engines their sources ask (ApplySlotEngines).
tw::sources::SourceSettings ReadRunSources(bool environmentKeys, QStringList* problems = nullptr);

// Names each slot after the engine its source asks: engines::SlotLabel then reads "Bing" for a
// Google slot ranked through serpapi:bing, and the table's name for a classic one.
void ApplySlotEngines(const tw::sources::SourceSettings& sources);

} // namespace rank
