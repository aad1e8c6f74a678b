#include "PgChangeLog.h"

#include "PgDialect.h"

#include <algorithm>

namespace engine {

namespace {

// The reader's snapshot: the oldest transaction still running and the next
// to begin, read in the same statement as the entries.
constexpr const char* kSnapshot =
    "pg_catalog.pg_snapshot_xmin(pg_catalog.pg_current_snapshot())::text::bigint, "
    "pg_catalog.pg_snapshot_xmax(pg_catalog.pg_current_snapshot())::text::bigint";

ChangeFeed::Kind kindOf(const char* k) {
    return *k == 'I'   ? ChangeFeed::Kind::Inserted
           : *k == 'D' ? ChangeFeed::Kind::Deleted
                       : ChangeFeed::Kind::Changed;
}

} // namespace

PgChangeLog::PgChangeLog(PgConnection& conn, const std::string& table)
    : table_(table), log_("public." + PgDialect::quote(table + "_changes")) {
    // The numbers of the last stretch of the log not (yet) committed.
    PgResult r = conn.exec("WITH m AS (SELECT coalesce(max(seq), 0) AS top FROM " + log_ +
                           ") SELECT m.top, " + kSnapshot +
                           ", g FROM m LEFT JOIN LATERAL "
                           "(SELECT g FROM pg_catalog.generate_series(greatest(m.top - 1023, 1), "
                           "m.top) g WHERE NOT EXISTS (SELECT 1 FROM " +
                           log_ + " c WHERE c.seq = g)) missing ON true ORDER BY g");
    end_ = r.integer(0, 0);
    const auto xmax = static_cast<std::uint64_t>(r.integer(0, 2));
    for (int i = 0; i < r.rows(); ++i)
        if (!PQgetisnull(r.get(), i, 3))
            addGap(r.integer(i, 3), r.integer(i, 3), xmax);
}

void PgChangeLog::addGap(std::int64_t from, std::int64_t to, std::uint64_t xmax) {
    if (!gaps_.empty() && gaps_.back().to + 1 == from && gaps_.back().settledAt == xmax) {
        gaps_.back().to = to;
        return;
    }
    if (gaps_.size() >= kMaxGaps) {
        gaps_.erase(gaps_.begin()); // the oldest given up
        missed_ = true;
    }
    gaps_.push_back({from, to, xmax});
}

void PgChangeLog::take(std::int64_t seq) {
    for (auto it = gaps_.begin(); it != gaps_.end(); ++it) {
        if (seq < it->from || seq > it->to)
            continue;
        if (it->from == it->to) {
            gaps_.erase(it);
        } else if (seq == it->from) {
            ++it->from;
        } else if (seq == it->to) {
            --it->to;
        } else {
            const Gap after{seq + 1, it->to, it->settledAt};
            it->to = seq - 1;
            gaps_.insert(it + 1, after);
        }
        return;
    }
}

std::vector<ChangeFeed::Change> PgChangeLog::read(PgConnection& conn) {
    missed_ = false;
    std::string where = "seq > " + std::to_string(end_);
    for (const Gap& g : gaps_)
        where += " OR seq BETWEEN " + std::to_string(g.from) + " AND " + std::to_string(g.to);
    PgResult r = conn.exec(std::string("SELECT ") + kSnapshot + ", (SELECT min(seq) FROM " + log_ +
                           "), c.seq, c.sample, c.kind FROM (SELECT 1) one LEFT JOIN LATERAL "
                           "(SELECT seq, sample, kind FROM " +
                           log_ + " WHERE " + where + " ORDER BY seq LIMIT " +
                           std::to_string(kBatch) + ") c ON true ORDER BY c.seq");
    const auto xmin = static_cast<std::uint64_t>(r.integer(0, 0));
    const auto xmax = static_cast<std::uint64_t>(r.integer(0, 1));
    std::vector<ChangeFeed::Change> out;
    for (int i = 0; i < r.rows(); ++i) {
        if (PQgetisnull(r.get(), i, 3))
            break; // nothing new
        const std::int64_t seq = r.integer(i, 3);
        if (seq > end_) {
            if (seq > end_ + 1)
                addGap(end_ + 1, seq - 1, xmax);
            end_ = seq;
        } else {
            take(seq);
        }
        out.push_back({table_, kindOf(r.text(i, 5)), r.integer(i, 4)});
    }
    more_ = static_cast<int>(out.size()) == kBatch;
    // Gaps whose writers have all ended are closed, once every entry they
    // could hold was within this read.
    // Numbers below the log's first entry may have been trimmed before
    // they were read rather than rolled back: whoever follows the log
    // reads its rows again.
    const std::int64_t first = PQgetisnull(r.get(), 0, 2) ? end_ + 1 : r.integer(0, 2);
    if (!more_)
        gaps_.erase(std::remove_if(gaps_.begin(), gaps_.end(),
                                   [&](const Gap& g) {
                                       if (g.settledAt > xmin)
                                           return false;
                                       missed_ = missed_ || g.from < first;
                                       return true;
                                   }),
                    gaps_.end());
    return out;
}

} // namespace engine
