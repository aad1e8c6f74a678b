#!/usr/bin/env bash
# The data tool from the outside: create, query, and its refusals.
set -u
tool="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

"$tool" create "$dir/a" --rows 50 --seed 3 >/dev/null
"$tool" create "$dir/b" --rows 50 --seed 3 >/dev/null
out=$("$tool" query "$dir/a" "SELECT * From [DOZIRO1]Order By [Rockname] ASC")
check "50 rows and a count line" '[ "$(printf "%s\n" "$out" | wc -l)" -eq 51 ] && [ "$(printf "%s\n" "$out" | tail -n 1)" = "50 rows" ]'
check "32 tab-separated values a row" '[ "$(printf "%s\n" "$out" | head -n 1 | awk -F"\t" "{print NF}")" -eq 32 ]'
same=$("$tool" query "$dir/b" "SELECT * From [DOZIRO1]Order By [Rockname] ASC")
check "a seed gives the same data" '[ "$out" = "$same" ]'
"$tool" query "$dir/a" "SELECT * FROM [Nowhere]" >"$dir/out" 2>"$dir/err"; rc=$?
check "an unknown table fails on standard error" '[ $rc -ne 0 ] && grep -q "Nowhere" "$dir/err" && [ ! -s "$dir/out" ]'
"$tool" query "$dir/a" "SELECT * FROM [DOZIRO1]; DELETE FROM [DOZIRO1]" >/dev/null 2>&1; rc=$?
after=$("$tool" query "$dir/a" "SELECT * FROM [DOZIRO1]" | tail -n 1)
check "a second statement is refused, never run" '[ $rc -ne 0 ] && [ "$after" = "50 rows" ]'
"$tool" create "$dir/c" --rows many >/dev/null 2>&1; rc=$?
check "a bad row count is refused" '[ $rc -ne 0 ] && [ ! -e "$dir/c/quarzdb32.mdb" ]'
"$tool" query "$dir/missing" "SELECT * FROM [DOZIRO1]" >/dev/null 2>&1; rc=$?
check "a missing folder fails" '[ $rc -ne 0 ]'
# Import and export from the command line.
count() { "$tool" query "$dir/a" "SELECT * FROM [$1]" | tail -n 1; }
before=$(count Project3)
printf 'SAMPLE ID,SIO2(WT%%),NA2O(WT%%)\nA-1,49.5,2.5\nA-2,fifty,2.6\nA-3,51,n.d.\n' >"$dir/in.csv"
"$tool" import "$dir/a" Project3 "$dir/in.csv" >/dev/null 2>"$dir/err"; rc=$?
check "bad rows refuse the file" '[ $rc -ne 0 ] && [ "$(count Project3)" = "$before" ] && grep -q "line 3: SiO2 .fifty. is not a number" "$dir/err"'
"$tool" import "$dir/a" Project3 "$dir/in.csv" --skip-bad >"$dir/out" 2>/dev/null; rc=$?
check "--skip-bad imports the good rows" '[ $rc -eq 0 ] && grep -q "imported 2 rows" "$dir/out" && [ "$(count Project3)" = "$(( ${before% rows} + 2 )) rows" ]'
"$tool" export "$dir/a" "SELECT * FROM [Project3]Where [Doziro Sample#] Like 'A-*'" "$dir/out.csv" >/dev/null; rc=$?
check "export writes the view's rows" '[ $rc -eq 0 ] && [ "$(wc -l <"$dir/out.csv")" -eq 3 ] && head -n 1 "$dir/out.csv" | grep -q "^Rockname,Geologist,Date,Location,Doziro Sample#,SiO2"'
# A workbook in and out again: our export's sheet, named or found alone.
"$tool" export "$dir/a" "SELECT * FROM [Project3]Where [Doziro Sample#] Like 'A-*'" "$dir/out.xlsx" >/dev/null
"$tool" import "$dir/a" Project2 "$dir/out.xlsx" --sheet Nowhere >/dev/null 2>"$dir/err"; rc=$?
check "an unknown sheet is refused, naming the sheets" '[ $rc -ne 0 ] && grep -q "no sheet named .Nowhere.. Its sheets: .View." "$dir/err"'
before2=$(count Project2)
"$tool" import "$dir/a" Project2 "$dir/out.xlsx" >"$dir/out" 2>"$dir/err"; rc=$?
check "a workbook's one sheet is imported" '[ $rc -eq 0 ] && grep -q "imported 2 rows" "$dir/out" && grep -q "its sheet .View." "$dir/err" && [ "$(count Project2)" = "$(( ${before2% rows} + 2 )) rows" ]'
"$tool" import "$dir/a" Project3 "$dir/in.csv" --skip-bad >"$dir/out" 2>"$dir/err"; rc=$?
check "the same file again is left out, and said so" '[ $rc -eq 0 ] && grep -q "imported 0 rows" "$dir/out" && grep -q "2 samples the table held already, left out" "$dir/err" && [ "$(count Project3)" = "$(( ${before% rows} + 2 )) rows" ]'
"$tool" import "$dir/a" Project3 "$dir/in.csv" --skip-bad --duplicates keep >"$dir/out" 2>/dev/null; rc=$?
check "--duplicates keep imports them beside the others" '[ $rc -eq 0 ] && grep -q "imported 2 rows" "$dir/out" && [ "$(count Project3)" = "$(( ${before% rows} + 4 )) rows" ]'
"$tool" history "$dir/a" --table Project3 >"$dir/out" 2>"$dir/err"; rc=$?
check "history: each import one entry, newest first" '[ $rc -eq 0 ] && [ "$(grep -c "	imported	" "$dir/out")" -eq 2 ] && sed -n 2p "$dir/out" | grep -q "	quarzel	imported	[0-9]*	2	"'
"$tool" export "$dir/a" "SELECT * FROM [Project3]" "$dir/nowhere/out.csv" >/dev/null 2>"$dir/err"; rc=$?
check "an unwritable export fails with its path" '[ $rc -ne 0 ] && grep -q "nowhere/out.csv" "$dir/err"'
"$tool" classify "$dir/a" --where "[SiO2] > 45" >"$dir/out" 2>"$dir/err"; rc=$?
check "a condition ending in a number runs" '[ $rc -eq 0 ] && grep -q "^no point" "$dir/out" && [ ! -s "$dir/err" ]'
"$tool" classify "$dir/a" --where "[SiO2] > 45 Or [SiO2] < 45" >"$dir/or" 2>/dev/null
"$tool" classify "$dir/a" >"$dir/all" 2>/dev/null
check "a condition is kept whole" '[ "$(grep -c "^[0-9]" "$dir/or")" -le "$(grep -c "^[0-9]" "$dir/all")" ] && [ "$(grep -c "^[0-9]" "$dir/out")" -le "$(grep -c "^[0-9]" "$dir/or")" ]'
# Other diagrams: a line per row, then the count of each class.
for d in k2o afm shand; do
  "$tool" classify "$dir/a" --diagram $d >"$dir/$d" 2>"$dir/err"; rc=$?
  check "classify --diagram $d: a line per row and the classes counted" '[ $rc -eq 0 ] && [ ! -s "$dir/err" ] && [ "$(grep -c "^[0-9]*	" "$dir/$d")" -eq 50 ] && [ "$(awk -F"\t" "NF == 2 {s += \$2} END {print s}" "$dir/$d")" -eq 50 ]'
done
check "classify --diagram afm gives A and F in per cent" '[ "$(awk -F"\t" "NF == 4 && (\$2 + \$3 > 100.01 || \$2 < 0) " "$dir/afm" | wc -l)" -eq 0 ]'
"$tool" classify "$dir/a" --diagram ternary >"$dir/out" 2>"$dir/err"; rc=$?
check "classify: an unknown diagram is refused" '[ $rc -eq 2 ] && [ ! -s "$dir/out" ] && grep -q "tas, k2o, afm, shand" "$dir/err"'
# A pattern of the values kept beside the rows: N-MORB's own REE over CI
# chondrite (Sun & McDonough 1989) give its published (La/Yb)N of 0.588.
printf 'SAMPLE NAME,TIO2(WT%%),LA(PPM),CE(PPB),SM(PPM),EU(PPM),GD(PPM),YB(PPM),LU(PPM)\nNM-1,1.27,2.5,7500,2.63,1.02,3.68,3.05,<0.01\n' >"$dir/ree.csv"
"$tool" create "$dir/p" --rows 5 >/dev/null
"$tool" import "$dir/p" Project1 "$dir/ree.csv" >/dev/null 2>&1
"$tool" classify "$dir/p" --diagram ree --table Project1 --where "[Doziro Sample#] = 'NM-1'" >"$dir/ree" 2>"$dir/err"; rc=$?
check "classify --diagram ree: the set, a header, the row normalised with its ratios" '[ $rc -eq 0 ] && [ ! -s "$dir/err" ] && [ "$(head -n 1 "$dir/ree")" = "Sample / CI chondrite (Sun & McDonough 1989)" ] && sed -n 2p "$dir/ree" | grep -q "^ID	Sample	La	Ce	Pr	Nd	Sm	.*	Lu	Eu/Eu\*	Ce/Ce\*	(La/Yb)N	" && [ "$(sed -n 3p "$dir/ree" | cut -f2,3,4,5,16,17,19)" = "$(printf "NM-1\t10.55\t12.25\t\t<0.3937\t1.002\t0.588")" ]'
"$tool" classify "$dir/p" --diagram spider --set pm-sm89-footnote --table Project1 --where "[Doziro Sample#] = 'NM-1'" >"$dir/spider" 2>/dev/null
check "classify --diagram spider: the set named, Ti from TiO2" 'head -n 1 "$dir/spider" | grep -q "footnote Cs 0.0079, Pb 0.071" && [ "$(sed -n 3p "$dir/spider" | cut -f22)" = "5.855" ]'
"$tool" classify "$dir/p" --diagram ree --set moon >"$dir/out" 2>"$dir/err"; rc=$?
check "classify: an unknown set is refused, naming the sets" '[ $rc -eq 2 ] && [ ! -s "$dir/out" ] && grep -q "ci-sm89 ci-ms95 boynton84" "$dir/err"'
# A granite on Nb against Y, and a row whose Nb is below detection.
printf 'SAMPLE NAME,Y(PPM),NB(PPM)\nG-1,60,40\nG-2,20,<5\n' >"$dir/nby.csv"
"$tool" import "$dir/p" Project2 "$dir/nby.csv" >/dev/null 2>&1
"$tool" classify "$dir/p" --diagram pearce-nb-y --table Project2 --where "[Doziro Sample#] = 'G-1' Or [Doziro Sample#] = 'G-2'" >"$dir/nby" 2>"$dir/err"; rc=$?
check "classify --diagram pearce-nb-y: the amounts, the field, and why a row has no point" '[ $rc -eq 0 ] && [ ! -s "$dir/err" ] && grep -q "	60	40	WPG$" "$dir/nby" && grep -q "			no point: Nb below detection$" "$dir/nby" && grep -q "^no point: Nb below detection	1$" "$dir/nby" && grep -q "^WPG	1$" "$dir/nby"'
# Two basalts on the ternaries: T-1 with Ti from its TiO2 and no Nb, T-2
# with no TiO2 and a Ta of 0.
printf 'SAMPLE NAME,TIO2(WT%%),ZR(PPM),Y(PPM),HF(PPM),TH(PPM),TA(PPM),NB(PPM)\nT-1,2.0,120,18,2.03,0.6,0.47,\nT-2,,280,29,7.8,4,0,48\n' >"$dir/tern.csv"
"$tool" import "$dir/p" Project3 "$dir/tern.csv" >/dev/null 2>&1
for d in ti-zr-y hf-th-ta nb-zr-y; do
  "$tool" classify "$dir/p" --diagram $d --table Project3 --where "[Doziro Sample#] = 'T-1' Or [Doziro Sample#] = 'T-2'" >"$dir/$d" 2>"$dir/err-$d"
done
check "classify --diagram ti-zr-y: Ti from TiO2, within-plate; no Ti says so" '[ ! -s "$dir/err-ti-zr-y" ] && grep -q "	D (within-plate basalts)$" "$dir/ti-zr-y" && grep -q "			no point: no Ti (nor TiO2)$" "$dir/ti-zr-y"'
check "classify --diagram hf-th-ta: E-MORB in B; a Ta of 0 has no point" '[ ! -s "$dir/err-hf-th-ta" ] && grep -q "	B (E-MORB and within-plate tholeiites)$" "$dir/hf-th-ta" && grep -q "^no point: Ta not above 0	1$" "$dir/hf-th-ta"'
check "classify --diagram nb-zr-y: Zr/4 and 2Nb in per cent, AI; no Nb counted" '[ ! -s "$dir/err-nb-zr-y" ] && grep -q "	35.9	49.23	AI (within-plate alkali basalts)$" "$dir/nb-zr-y" && grep -q "^no point: no Nb	1$" "$dir/nb-zr-y"'
# The norm of every row, one line each, after a header.
"$tool" norm "$dir/a" >"$dir/norm" 2>"$dir/err"; rc=$?
check "norm: a header and a line per row" '[ $rc -eq 0 ] && [ ! -s "$dir/err" ] && [ "$(wc -l <"$dir/norm")" -eq 51 ] && head -n 1 "$dir/norm" | grep -q "^ID	Q	Or	Ab	An	.*	Sum	Mg#	DI	CIA	Name$"'
check "norm: 36 fields on every line" '[ "$(awk -F"\t" "NF != 36" "$dir/norm" | wc -l)" -eq 0 ]'
check "norm: rows in the order of ID" '[ "$(tail -n +2 "$dir/norm" | cut -f1)" = "$(tail -n +2 "$dir/norm" | cut -f1 | sort -n)" ]'
"$tool" norm "$dir/a" --table Project3 >"$dir/norm3" 2>/dev/null
check "norm: a row without a norm says why, its fields empty" 'grep -q "^[0-9]*		.*	TiO2, Al2O3, MgO, CaO and K2O are empty$" "$dir/norm3"'
"$tool" norm "$dir/a" --where "[SiO2] > 60" >"$dir/some" 2>/dev/null; rc=$?
check "norm: a condition narrows the rows" '[ $rc -eq 0 ] && [ "$(wc -l <"$dir/some")" -lt 51 ] && [ "$(wc -l <"$dir/some")" -gt 1 ]'
"$tool" norm "$dir/a" --iron plutonic >"$dir/plutonic" 2>/dev/null; rc=$?
check "norm: another iron choice gives other numbers" '[ $rc -eq 0 ] && ! cmp -s "$dir/norm" "$dir/plutonic"'
"$tool" norm "$dir/a" --iron wet >"$dir/out" 2>"$dir/err"; rc=$?
check "norm: an unknown iron choice is refused" '[ $rc -eq 2 ] && [ ! -s "$dir/out" ] && grep -q "volcanic, plutonic, middlemost or analysed" "$dir/err"'
"$tool" norm "$dir/a" --table Nowhere >"$dir/out" 2>"$dir/err"; rc=$?
check "norm: an unknown table fails" '[ $rc -ne 0 ] && grep -q "Nowhere" "$dir/err"'
# The values beside the rows: a header, then a line per value as stored.
"$tool" create "$dir/v" --rows 4 --seed 3 --values >/dev/null
"$tool" values "$dir/v" >"$dir/values" 2>"$dir/err"; rc=$?
check "values: a header and eight values a row" '[ $rc -eq 0 ] && [ ! -s "$dir/err" ] && [ "$(head -n 1 "$dir/values")" = "$(printf "ID\tSample\tAnalyte\tValue\tUnit\tQualifier\tMethod\tUncertainty\tReference")" ] && [ "$(wc -l <"$dir/values")" -eq 33 ]'
check "values: nine fields on every line" '[ "$(awk -F"\t" "NF != 9" "$dir/values" | wc -l)" -eq 0 ]'
check "values: in the order of ID, then as added" '[ "$(tail -n +2 "$dir/values" | cut -f1 | uniq | tr "\n" " ")" = "1 2 3 4 " ] && [ "$(grep "^2	" "$dir/values" | cut -f3 | tr "\n" " ")" = "Latitude Longitude Material La Rb 87Sr/86Sr εNd δ18O " ]'
check "values: a fact in words, a unit, the row sample number and a reference" 'grep -q "^3	DZ-000003	Material	whole rock					$" "$dir/values" && grep -q "^1	DZ-000001	δ18O	[0-9.]*	‰				\(Hartmann\|Moreau\), .* (\(1998\|2004\))\. [A-Z]" "$dir/values"'
check "values: numbers in their shortest form" '! cut -f4,8 "$dir/values" | grep -q "[0-9]\{12\}" && grep -q "	87Sr/86Sr	0\.70[0-9]*			TIMS	1\.2e-05	" "$dir/values"'
"$tool" values "$dir/v" --where "[ID] = 2 Or [ID] = 4" >"$dir/some" 2>/dev/null
check "values: a condition selects the rows" '[ "$(tail -n +2 "$dir/some" | cut -f1 | uniq | tr "\n" " ")" = "2 4 " ] && [ "$(wc -l <"$dir/some")" -eq 17 ]'
"$tool" values "$dir/a" --table Project1 >"$dir/none" 2>"$dir/err"; rc=$?
check "values: a file without values prints the header alone" '[ $rc -eq 0 ] && [ "$(wc -l <"$dir/none")" -eq 1 ] && [ ! -s "$dir/err" ]'
"$tool" values "$dir/v" --where "[Nope] = 1" >"$dir/out" 2>"$dir/err"; rc=$?
check "values: a bad condition fails, printing nothing" '[ $rc -ne 0 ] && [ ! -s "$dir/out" ] && grep -q "Nope" "$dir/err"'
# The manual page names every command and option the usage text gives.
man="$(dirname "$0")/../data/man/quarzel-db.1"
usage=$("$tool" 2>&1)
for word in $(printf "%s\n" "$usage" | sed -n 's/^.*quarzel-db \([a-z-]*\).*$/\1/p'); do
  check "the manual page has the command $word" 'grep -q "^\.B quarzel-db $word\$" "$man"'
done
for flag in $(printf "%s\n" "$usage" | grep -o -- '--[a-z-]*' | sort -u); do
  check "the manual page has $flag" 'grep -qF -- "$(printf "%s" "$flag" | sed "s/-/\\\\-/g")" "$man"'
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
