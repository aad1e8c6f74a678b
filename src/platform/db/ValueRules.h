#pragma once

#include "SampleValue.h"

#include <string>
#include <vector>

namespace engine {

// What every back end asks of values before it stores any of them, so that
// a bad one refuses the whole call and nothing is half-written: an analyte,
// a number or words, a qualifier of '<' or '>' only on a number, finite
// numbers.
namespace ValueRules {

// Throws EngineError naming the first value that breaks a rule.
void check(const std::string& table, std::int64_t sample, const std::vector<SampleValue>& values);

} // namespace ValueRules

} // namespace engine
