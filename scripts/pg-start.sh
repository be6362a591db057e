# Sourced by the test scripts: starts a throwaway PostgreSQL cluster on port 55432 and sets
# TOLVANE_TEST_PG for the database tests; pg_stop stops it and removes it. PostgreSQL does not
# run as root, so the server runs as its own user. Without the server binaries, or when the
# server cannot start, the PostgreSQL cases are skipped and the reason is printed.
PG_DIR=/tmp/tolvane-pg-$$
pg_stop() {
  if [ -n "${PG_BIN:-}" ] && [ -d "$PG_DIR" ]; then
    runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DIR" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$PG_DIR" "$PG_DIR-sock"
  fi
}
pg_start() {
  PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
  if [ -z "$PG_BIN" ] || [ "$(id -u)" -ne 0 ]; then
    echo "PostgreSQL tests skipped: needs root and the postgresql package" >&2
    return 0
  fi
  local port=${TOLVANE_PG_PORT:-55432}
  install -d -o postgres -g postgres -m 700 "$PG_DIR" "$PG_DIR-sock"
  runuser -u postgres -- "$PG_BIN/initdb" -D "$PG_DIR" -U postgres -A trust -E UTF8 --no-sync >/dev/null
  if ! runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DIR" -l "$PG_DIR/server.log" -w -t 30 \
      -o "-c listen_addresses=127.0.0.1 -p $port -k $PG_DIR-sock -c fsync=off" start >/dev/null; then
    echo "PostgreSQL did not start; its log:" >&2
    cat "$PG_DIR/server.log" >&2
    return 1
  fi
  runuser -u postgres -- psql -X -q -h "$PG_DIR-sock" -p "$port" \
    -c "CREATE ROLE ci LOGIN PASSWORD 'ci' CREATEDB" >/dev/null
  export TOLVANE_TEST_PG="postgresql:host=127.0.0.1 port=$port user=ci password=ci dbname=postgres"
}
pg_start
