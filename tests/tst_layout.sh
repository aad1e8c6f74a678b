#!/usr/bin/env bash
# The folders keep to their places: SQLite only inside the engine's file
# back end, which nothing outside the engine sees; the platform's components
# include nothing of the program above them; the program's folders depend
# downwards only (app on the subsystems, they on the main window's form and
# the schema); and no code waits in an event loop of its own (modal dialogs
# aside). Given the build's link lines (link-lines.txt, written when cmake
# configures), the same is checked of what each library links.
set -u
src="$(dirname "$0")/../src"
links="${1:-}"
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

outside=$(grep -rlE '#include[[:space:]]*<sqlite3\.h>|\bsqlite3_[a-z_0-9]+[[:space:]]*\(' "$src" \
            --include='*.cpp' --include='*.h' | grep -v "/platform/db/sqlite/")
check "SQLite is used only in src/platform/db/sqlite${outside:+ (also: $outside)}" '[ -z "$outside" ]'

outside=$(grep -rlE '#include[[:space:]]*<libpq-fe\.h>|\bPQ[a-z]+[[:space:]]*\(' "$src" \
            --include='*.cpp' --include='*.h' | grep -v "/platform/db/pg/")
check "libpq is used only in src/platform/db/pg${outside:+ (also: $outside)}" '[ -z "$outside" ]'

exposed=$(grep -lE '#include[[:space:]]*[<"](sqlite3\.h|libpq-fe\.h|sqlite/|pg/|Sqlite|Pg[A-Z]|Statement\.h)' "$src"/platform/db/*.h)
check "no engine interface header hands the back end's types on${exposed:+ ($exposed)}" '[ -z "$exposed" ]'

backend=$(grep -rlE '#include[[:space:]]*"platform/db/sqlite/' "$src" --include='*.cpp' --include='*.h')
check "only the engine reaches its back end${backend:+ ($backend)}" '[ -z "$backend" ]'

upward=$(grep -rnE '#include[[:space:]]*"(app|schema|query|edit|print|about|update|classify|map|norm|diagram|exchange)/' \
           "$src/platform" --include='*.cpp' --include='*.h')
check "src/platform includes nothing of the program's folders${upward:+ ($upward)}" '[ -z "$upward" ]'

# Each folder includes only folders below it: no circles between them.
rank() {
    case "$1" in
    platform) echo 0 ;; schema | form) echo 1 ;; query | classify | map | exchange) echo 2 ;;
    norm | edit | print | about | update) echo 3 ;; diagram) echo 4 ;; app) echo 5 ;; *) echo 9 ;;
    esac
}
upstream=""
for dir in "$src"/*/; do
    from=$(basename "$dir")
    for to in $(grep -rhoE '#include[[:space:]]*"[a-z]+/' "$dir" --include='*.cpp' --include='*.h' |
                  sed -E 's/.*"([a-z]+)\//\1/' | sort -u); do
        [ -d "$src/$to" ] && [ "$to" != "$from" ] && [ "$(rank "$to")" -ge "$(rank "$from")" ] &&
            upstream="$upstream $from->$to"
    done
done
check "every folder includes only the folders below it${upstream:+ (not:$upstream)}" '[ -z "$upstream" ]'

# Link lines: "folder target what-it-links...", the folder under src/.
if [ -n "$links" ]; then
    # The engine is below the other components of the platform.
    link_rank() {
        case "$1" in
        platform/db | platform/db/*) echo 0 ;; platform/*) echo 1 ;; *) echo $(($(rank "${1%%/*}") + 2)) ;;
        esac
    }
    folder_of() { awk -v t="$1" '$2 == t { print $1 }' "$links"; }
    sqlite="" libpq="" backend="" upward="" hooks=""
    while read -r folder target linked; do
        for l in $linked; do
            case "$l" in
            *SQLITE3* | *sqlite3*) [ "$folder" = platform/db/sqlite ] || sqlite="$sqlite $target" ;;
            *LIBPQ* | *libpq*) [ "$folder" = platform/db/pg ] || libpq="$libpq $target" ;;
            quarzel_db_sqlite | quarzel_db_pg) [ "$folder" = platform/db ] || backend="$backend $target->$l" ;;
            quarzel_hooks) [ "$target" = quarzel ] && hooks=" (it links $l)" ;;
            esac
            to=$(folder_of "$l")
            [ -n "$to" ] || continue
            from_rank=$(link_rank "$folder") to_rank=$(link_rank "$to")
            if [ "$to_rank" -gt "$from_rank" ] ||
               { [ "$to_rank" -eq "$from_rank" ] && [ "${to%%/*}" != "${folder%%/*}" ]; }; then
                upward="$upward $target->$l"
            fi
        done
    done <"$links"
    check "the link lines are there ($links)" '[ -s "$links" ] && grep -q "^app quarzel " "$links"'
    check "only the file back end links SQLite${sqlite:+ (also:$sqlite)}" '[ -z "$sqlite" ]'
    check "only the server back end links libpq${libpq:+ (also:$libpq)}" '[ -z "$libpq" ]'
    check "only the engine links its back ends${backend:+ (also:$backend)}" '[ -z "$backend" ]'
    check "every library links only the layers below it${upward:+ (not:$upward)}" '[ -z "$upward" ]'
    check "the shipped program links no documentation hooks$hooks" '[ -z "$hooks" ]'
fi

# The engine's record set stays behind the view: every other folder, and
# the command line, reads what a window shows through it.
recordset=$(grep -rlE '#include[[:space:]]*"platform/db/Recordset\.h"|engine::Recordset\b' "$src" \
              "$src/../tools/quarzel-db" --include='*.cpp' --include='*.h' |
              grep -vE '/platform/(db|view)/')
check "only src/platform/db and src/platform/view reach the engine's record set${recordset:+ (also: $recordset)}" \
    '[ -z "$recordset" ]'

loops=$(grep -rnE 'processEvents[[:space:]]*\(|QEventLoop' "$src" --include='*.cpp' --include='*.h')
check "no event loop of its own on the user-interface thread${loops:+ ($loops)}" '[ -z "$loops" ]'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
