#include "TableSet.h"

namespace {
struct Entry {
    const char* active;
    const char* table;
};
const Entry kSets[TableSet::kCount] = {
    {"Doziro", "DOZIRO1"}, {"Pro1", "Project1"}, {"Pro2", "Project2"}, {"Pro3", "Project3"}};
} // namespace

QString TableSet::activeValue(int menuIndex) {
    return menuIndex >= 0 && menuIndex < kCount ? kSets[menuIndex].active : QString();
}

QString TableSet::table(const QString& active) {
    // Compared exactly, letter case included.
    for (const auto& s : kSets)
        if (active == QLatin1String(s.active))
            return s.table;
    return {};
}

QString TableSet::wholeTableStatement(const QString& active) {
    const QString t = table(active);
    return t.isEmpty() ? QString() : "SELECT * From [" + t + "]Order By [Rockname] ASC";
}
