#include "LikeFunctions.h"

#include "platform/db/EngineError.h"
#include "platform/db/LikePattern.h"
#include "platform/db/TextFold.h"

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string_view>

namespace engine {

namespace {

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // "x Like p" reaches us as like(p, x[, escape]).
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // Null never matches: the result stays Null
    auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    std::unique_ptr<LikePattern> fresh;
    if (!cached) {
        std::optional<char32_t> escape;
        if (argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
            std::u32string e;
            const auto* et = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
            decodeFolded(et ? et : "", e);
            if (e.size() != 1) {
                sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
                return;
            }
            escape = e[0];
        }
        const auto* pt = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        std::string_view pattern(pt ? pt : "", static_cast<size_t>(sqlite3_value_bytes(argv[0])));
        try {
            fresh = std::make_unique<LikePattern>(LikePattern::compile(pattern, escape));
        } catch (const EngineError& e) {
            sqlite3_result_error(ctx, e.what(), -1);
            return;
        }
        cached = fresh.get();
    }
    const auto* tt = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    std::string_view text(tt ? tt : "", static_cast<size_t>(sqlite3_value_bytes(argv[1])));
    sqlite3_result_int(ctx, cached->matches(text) ? 1 : 0);
    if (fresh) {
        // SQLite may drop the data at once, so it is handed over last.
        sqlite3_set_auxdata(ctx, 0, fresh.release(),
                            [](void* p) { delete static_cast<LikePattern*>(p); });
    }
}

} // namespace

void registerLikeFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
}

} // namespace engine
