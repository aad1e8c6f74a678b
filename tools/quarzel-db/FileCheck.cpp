#include "FileCheck.h"

#include "platform/db/Database.h"

#include <ostream>

namespace {

using engine::IntegrityReport;

void print(const IntegrityReport& r, std::ostream& out) {
    out << "read " << r.rowsRead << " rows: ";
    switch (r.state) {
    case IntegrityReport::State::Sound:
        out << "the file is sound\n";
        return;
    case IntegrityReport::State::NotChecked:
        out << "the check was not finished: " << (r.why.empty() ? "nothing to check" : r.why)
            << "\n";
        return;
    case IntegrityReport::State::Damaged:
    case IntegrityReport::State::Unreadable:
        out << "the file is damaged (" << r.problemCount << " problems)\n";
        for (const std::string& p : r.problems)
            out << "  " << p << "\n";
        if (r.problemCount > static_cast<long long>(r.problems.size()))
            out << "  ... and " << r.problemCount - static_cast<long long>(r.problems.size())
                << " more\n";
    }
}

} // namespace

int checkFile(const std::shared_ptr<engine::Database>& db, bool repair, std::ostream& out) {
    IntegrityReport r = db->checkIntegrity({});
    print(r, out);
    if (!r.damaged())
        return r.state == IntegrityReport::State::Sound ? 0 : 1;
    if (!repair) {
        out << (r.state == IntegrityReport::State::Unreadable
                    ? "some rows cannot be read: restore the file from a backup copy\n"
                    : "rebuild its indexes with: quarzel-db check DIR --repair\n");
        return 1;
    }
    const std::string copy = db->repairIndexes();
    out << "the indexes were rebuilt; the file as it was is kept at " << copy << "\n";
    r = db->checkIntegrity({});
    print(r, out);
    if (r.state == IntegrityReport::State::Sound)
        out << "rows whose values may have been altered are named above: look at them\n";
    return r.state == IntegrityReport::State::Sound ? 0 : 1;
}
