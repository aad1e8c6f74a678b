#pragma once

#include "platform/db/SampleValue.h"

#include <QString>

#include <cstdint>
#include <vector>

// The page after the current-row report that lists what a sample keeps
// beyond the 32 columns: where it was taken, the facts about it in words,
// every value as it was reported (qualifier, unit, method, uncertainty),
// and the references those cite, numbered in the order first cited. Values
// keep the order they were stored in. A sample with no stored values has
// no such page (lines() is empty), so its report prints as it always has.
class ValuesPage {
public:
    struct Line {
        QString text;
        bool bold = false;
    };

    static std::vector<Line> lines(const QString& sample, std::int64_t id,
                                   const std::vector<engine::SampleValue>& values);
    // "<0.05 ppm", "0.70345 ± 0.00002", "whole rock".
    static QString valueText(const engine::SampleValue& value);
};
