#!/usr/bin/env bash
# The README's set-up of a shared server and of a personal account, run as
# written beside the private test server (with-server.sh): "su postgres -c"
# stands for that server's own administrator, and the package install is
# left out. Then the personal account opens the collection through the
# engine, the program's own has none on the server, and no role is left
# stronger than the set-up means it to be.
#   tst_serversetup.sh QUARZEL_DB README
set -u
tool="$1" readme="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

# The indented block after the README's line that starts with $1.
block() {
  awk -v lead="$1" '
    !found && index($0, lead) == 1 { found = 1; next }
    found && /^    / { inside = 1; print substr($0, 5); next }
    found && inside && !/^$/ { exit }
  ' "$readme"
}
block "Setting up a server (Debian, as root):" >"$work/setup.sh"
block "An administrator adds a personal account" >"$work/account.sh"
check "the README has both blocks" '[ -s "$work/setup.sh" ] && [ -s "$work/account.sh" ]'

admin="$PGUSER"
su() {
  [ "$1" = postgres ] && [ "$2" = -c ] || { echo "unexpected: su $*" >&2; return 1; }
  PGUSER="$admin" bash -c "$3"
}
apt-get() { :; }
export -f su apt-get
export admin
# As the README's reader: libpq's default account is the system's one.
unset PGUSER
export USER
USER=$(id -un)

mkdir -p "$work/build/bin"
ln -s "$tool" "$work/build/bin/quarzel-db"
"$tool" create "$work/build/bin" --rows 30 --values >/dev/null
cd "$work"
bash -e setup.sh >"$work/setup.out" 2>&1; rc=$?
check "the set-up runs as written" '[ $rc -eq 0 ] || { cat "$work/setup.out"; false; }'
check "server-init says what it granted" 'grep -q "^granted quarzel_reader: SELECT on table quarzel_counts$" setup.out && grep -q "^granted quarzel_reader: SELECT on table quarzel_channel$" setup.out && grep -q "^revoked PUBLIC: .*TEMP.* on database quarzel$" setup.out'
check "server-init makes no account for the program" 'grep -q "^account quarzel: the program.s own, for the file alone" setup.out && [ "$(psql -X -At -d quarzel -U "$admin" -c "SELECT count(*) FROM pg_roles WHERE rolname = '"'quarzel'"'")" = 0 ]'
bash -e account.sh >"$work/account.out" 2>&1; rc=$?
check "the personal account is made as written" '[ $rc -eq 0 ] || { cat "$work/account.out"; false; }'

q() { "$tool" query --server "dbname=quarzel user=$1" "$2" 2>&1 | tail -n 1; }
check "the program's account does not log on to the server" '! q quarzel "SELECT * FROM [DOZIRO1]" | grep -q "rows$"'
check "the personal account opens the collection" 'q ann "SELECT * FROM [DOZIRO1]" | grep -q "^30 rows$"'
printf 'SAMPLE ID,SIO2(WT%%)\nANN-1,49.5\n' >"$work/in.csv"
"$tool" import --server "dbname=quarzel user=ann" DOZIRO1 "$work/in.csv" >/dev/null 2>&1; rc=$?
check "the personal account adds a row, and the kept count follows" '[ $rc -eq 0 ] && q ann "SELECT * FROM [DOZIRO1]" | grep -q "^31 rows$"'
check "the personal account reads nothing it was not granted" '! q ann "SELECT * FROM [Project1]" | grep -q "rows$"'
"$tool" values --server "dbname=quarzel user=ann" >"$work/values" 2>&1; rc=$?
check "the personal account reads the values server-init copied, and the one its import kept" '[ $rc -eq 0 ] && [ "$(wc -l <"$work/values")" -eq 242 ] && grep -q "^7	DZ-000007	Material	whole rock					$" "$work/values" && grep -q "	ANN-1	SiO2	49.5	wt%				$" "$work/values"'
# The network set-up as written, in the private server's own folder, with
# the address it listens on narrowed to this machine's loopback. The test
# server's own lines that trust any connection over TCP go first: the
# README's clients come from other machines, which no other line lets in.
block "For the team's machines the server listens on the network" >"$work/tls.sh"
check "the README has the network block" 'grep -q "^systemctl restart postgresql$" "$work/tls.sh"'
datadir="$PGHOST/data"
sed -i "s|^cd /etc/postgresql/.*|cd '$datadir'|" "$work/tls.sh"
sed -i '/^host/d' "$datadir/pg_hba.conf"
serverowner=$(stat -c %U "$datadir")
restart=${QUARZEL_TEST_PG_CTL/listen_addresses=\'\'/listen_addresses=127.0.0.1}
chown() { command chown "${1/postgres:/$serverowner:}" "${@:2}"; }
systemctl() { [ "$*" = "restart postgresql" ] && eval "$restart restart" >/dev/null; }
export -f chown systemctl
export serverowner restart
bash -e "$work/tls.sh" >"$work/tls.out" 2>&1; rc=$?
check "the network set-up runs as written" '[ $rc -eq 0 ] || { cat "$work/tls.out"; false; }'
# A user's machine: the server's certificate as its root, the name the
# certificate proves, the address it is reached at.
mkdir -p "$work/home/.postgresql" "$work/other"
cp "$datadir/server.crt" "$work/home/.postgresql/root.crt"
at="host=survey-db.example.org hostaddr=127.0.0.1 port=$PGPORT dbname=quarzel user=ann"
net() { HOME="$work/home" PGPASSWORD="$1" "$tool" query --server "$at $2" "SELECT * FROM [DOZIRO1]" 2>&1 | tail -n 1; }
check "ann logs on over TLS, the certificate checked against the name" 'net basin47fox sslmode=verify-full | grep -q "^31 rows$"'
check "a wrong password is refused" '! net wrong sslmode=verify-full | grep -q "rows$"'
check "without TLS nothing is let in" 'net basin47fox sslmode=disable | grep -q "no pg_hba.conf entry"'
openssl req -new -x509 -days 1 -nodes -subj "/CN=survey-db.example.org" -keyout "$work/other/k" \
  -out "$work/other/c" >/dev/null 2>&1
check "a server whose certificate another signed is refused" 'net basin47fox "sslmode=verify-full sslrootcert=$work/other/c" | grep -q "certificate verify failed"'

# As the engine adds them: a new analyte, then the value.
psql -X -q -v ON_ERROR_STOP=1 -d quarzel -U ann -c "WITH c AS (INSERT INTO quarzel_channel (analyte, unit, method) VALUES ('Zr', 'ppm', 'XRF') RETURNING code) INSERT INTO \"DOZIRO1_values\" (sample, channel, value) SELECT 3, code, 150 FROM c" >"$work/add.out" 2>&1; rc=$?
check "the personal account adds a value and its analyte" '[ $rc -eq 0 ] && "$tool" values --server "dbname=quarzel user=ann" --where "[ID] = 3" | grep -q "^3	DZ-000003	Zr	150	ppm		XRF		$" || { cat "$work/add.out"; false; }'
psql -X -q -d quarzel -U ann -c "SELECT count(*) FROM \"Project1_values\"" >/dev/null 2>&1; rc1=$?
psql -X -q -d quarzel -U ann -c "DELETE FROM quarzel_reference" >/dev/null 2>&1; rc2=$?
check "the personal account reads no other table's values, and empties no dictionary" '[ $rc1 -ne 0 ] && [ $rc2 -ne 0 ]'
strong=$(psql -X -At -d quarzel -U "$admin" -c "SELECT string_agg(rolname, ',' ORDER BY rolname) FROM pg_roles WHERE rolname !~ '^pg_' AND (rolsuper OR rolcreaterole OR rolcreatedb OR rolreplication OR rolbypassrls)")
check "no role but the server's own administrator is stronger than a user" '[ "$strong" = "$admin" ] || { echo "strong roles: $strong"; false; }'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
