#!/usr/bin/env bash
# Runs a command with a private PostgreSQL server of its own: a cluster in
# a temporary folder, listening only on a socket there, run as an
# unprivileged user when this runs as root, and stopped (and removed)
# after the command, whatever happens. The command finds the server in the
# PG* variables and in QUARZEL_TEST_PG (a connection string to its
# administrator's database); QUARZEL_TEST_PG_CTL stops and starts it.
#   with-server.sh COMMAND [ARGS...]
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "with-server.sh: no PostgreSQL server programs (package postgresql)" >&2
  exit 1
fi

base=$(mktemp -d /tmp/quarzel-pg.XXXXXX)
chmod 755 "$base"
as=()
if [ "$(id -u)" -eq 0 ]; then
  owner=nobody
  chown "$owner" "$base"
  as=(runuser -u "$owner" --)
fi

stop() {
  "${as[@]}" "$bindir/pg_ctl" -D "$base/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$base"
}
trap stop EXIT

"${as[@]}" "$bindir/initdb" -D "$base/data" -U quarzel_admin --auth=trust \
  --encoding=UTF8 --locale=C.UTF-8 >"$base/initdb.log" 2>&1 || {
  cat "$base/initdb.log" >&2
  exit 1
}
port=$((20000 + RANDOM % 20000))
opts="-c listen_addresses='' -c unix_socket_directories='$base' -c port=$port -c fsync=off"
opts="$opts -c max_connections=200"
"${as[@]}" "$bindir/pg_ctl" -D "$base/data" -o "$opts" -l "$base/server.log" -w start >/dev/null

export PGHOST="$base" PGPORT="$port" PGUSER=quarzel_admin PGDATABASE=postgres
export QUARZEL_TEST_PG="host=$base port=$port user=quarzel_admin dbname=postgres"
ctl=("${as[@]}" "$bindir/pg_ctl" -D "$base/data" -o "\"$opts\"" -l "$base/server.log" -w)
export QUARZEL_TEST_PG_CTL="${ctl[*]}"
set +e
"$@"
status=$?
set -e
exit $status
