#pragma once

#include <string>
#include <vector>

namespace engine {

// What a check of a database's own consistency found. A file can be damaged
// in ways that its ordinary reads do not notice: a row whose bytes were
// altered is still read, but no longer matches its index, so a search by
// that column misses it. The check reads every row and looks each one up in
// every index of its table.
struct IntegrityReport {
    enum class State {
        NotChecked, // the back end keeps its own consistency (a server), or the check was stopped
        Sound,
        Damaged,    // rows and indexes disagree: rebuilding the indexes mends it
        Unreadable, // some rows cannot be read at all: only a backup copy mends it
    };
    State state = State::NotChecked;
    long long rowsRead = 0;
    long long problemCount = 0;
    std::vector<std::string> problems; // the first few, in plain words
    std::string why;                   // why the check was not finished, if it was not

    static constexpr std::size_t kProblemsKept = 20;
    void add(State found, const std::string& problem) {
        if (found == State::Unreadable || state != State::Unreadable)
            state = found;
        ++problemCount;
        if (problems.size() < kProblemsKept)
            problems.push_back(problem);
    }
    bool damaged() const { return state == State::Damaged || state == State::Unreadable; }
};

} // namespace engine
