// The rules of ValueRules.h, the same words on both back ends.
#include "ValueRules.h"

#include "EngineError.h"

#include <cmath>

namespace engine::ValueRules {

void check(const std::string& table, std::int64_t sample, const std::vector<SampleValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const SampleValue& v = values[i];
        auto refuse = [&](const std::string& why) {
            throw EngineError(err::ConversionError,
                              "Value " + std::to_string(i + 1) + " (" +
                                  (v.analyte.empty() ? std::string("no analyte") : v.analyte) +
                                  ") of the row with ID " + std::to_string(sample) + " in '" +
                                  table + "' " + why + ". Nothing was added.");
        };
        if (v.analyte.empty())
            refuse("names no analyte");
        if (!v.value && v.text.empty())
            refuse("holds neither a number nor words");
        if (v.value && !std::isfinite(*v.value))
            refuse("is not a finite number");
        if (v.uncertainty && !std::isfinite(*v.uncertainty))
            refuse("has an uncertainty that is not a finite number");
        if (v.qualifier != 0 && v.qualifier != '<' && v.qualifier != '>')
            refuse("has a qualifier other than '<' or '>'");
        if (v.qualifier != 0 && !v.value)
            refuse("has a qualifier but no number");
    }
}

} // namespace engine::ValueRules
