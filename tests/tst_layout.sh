#!/usr/bin/env bash
# The folders keep to their places: SQLite only inside the engine's file
# back end, which nothing outside the engine sees,
# the platform's components include nothing of the program above them, and
# no code waits in an event loop of its own (modal dialogs aside).
set -u
src="$(dirname "$0")/../src"
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

outside=$(grep -rlE '#include[[:space:]]*<sqlite3\.h>|\bsqlite3_[a-z_0-9]+[[:space:]]*\(' "$src" \
            --include='*.cpp' --include='*.h' | grep -v "/platform/db/sqlite/")
check "SQLite is used only in src/platform/db/sqlite${outside:+ (also: $outside)}" '[ -z "$outside" ]'

exposed=$(grep -lE '#include[[:space:]]*[<"](sqlite3\.h|sqlite/|Sqlite|Statement\.h|KeyLoader\.h)' "$src"/platform/db/*.h)
check "no engine interface header hands the back end's types on${exposed:+ ($exposed)}" '[ -z "$exposed" ]'

backend=$(grep -rlE '#include[[:space:]]*"platform/db/sqlite/' "$src" --include='*.cpp' --include='*.h')
check "only the engine reaches its back end${backend:+ ($backend)}" '[ -z "$backend" ]'

upward=$(grep -rnE '#include[[:space:]]*"(app|schema|query|edit|print|about|update|classify|diagram|exchange)/' \
           "$src/platform" --include='*.cpp' --include='*.h')
check "src/platform includes nothing of the program's folders${upward:+ ($upward)}" '[ -z "$upward" ]'

loops=$(grep -rnE 'processEvents[[:space:]]*\(|QEventLoop' "$src" --include='*.cpp' --include='*.h')
check "no event loop of its own on the user-interface thread${loops:+ ($loops)}" '[ -z "$loops" ]'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
