#!/usr/bin/env bash
# The folders keep to their places: SQLite only inside the engine folder,
# the platform's components include nothing of the program above them, and
# no code waits in an event loop of its own (modal dialogs aside).
set -u
src="$(dirname "$0")/../src"
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

outside=$(grep -rlE '#include[[:space:]]*<sqlite3\.h>|\bsqlite3_[a-z_0-9]+[[:space:]]*\(' "$src" \
            --include='*.cpp' --include='*.h' | grep -v "/platform/db/")
check "SQLite is used only in src/platform/db${outside:+ (also: $outside)}" '[ -z "$outside" ]'

exposed=$(grep -lE '#include[[:space:]]*[<"](sqlite3\.h|Statement\.h)[>"]' "$src"/platform/db/*.h)
check "no engine header hands SQLite's types on${exposed:+ ($exposed)}" '[ -z "$exposed" ] || [ "$exposed" = "$src/platform/db/Statement.h" ]'

upward=$(grep -rnE '#include[[:space:]]*"(app|schema|query|edit|print|about|update|classify|diagram|exchange)/' \
           "$src/platform" --include='*.cpp' --include='*.h')
check "src/platform includes nothing of the program's folders${upward:+ ($upward)}" '[ -z "$upward" ]'

loops=$(grep -rnE 'processEvents[[:space:]]*\(|QEventLoop' "$src" --include='*.cpp' --include='*.h')
check "no event loop of its own on the user-interface thread${loops:+ ($loops)}" '[ -z "$loops" ]'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
