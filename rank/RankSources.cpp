#include "rank/RankSources.h"

#include "base/Engines.h"
#include "base/TextUtil.h"

namespace rank {

tw::sources::SourceSettings ReadRunSources(bool environmentKeys, QStringList* problems) {
    tw::sources::SourceSettings sources = tw::sources::readSourceSettings(problems);
    if (environmentKeys)
        tw::sources::applyEnvironmentKeys(&sources.config.keys);
    ApplySlotEngines(sources);
    return sources;
}

void ApplySlotEngines(const tw::sources::SourceSettings& sources) {
    for (int e = 0; e < kEngineCount; ++e) {
        const tw::sources::Source& source = sources.columns[e];
        const bool own = source.isClassic() ||
                         source.engine == text::AsciiLower(engines::Info(SearchEngine(e)).key);
        engines::SetSlotEngine(SearchEngine(e), own ? std::string() : source.engine);
    }
}

} // namespace rank
