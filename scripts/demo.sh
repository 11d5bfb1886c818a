#!/usr/bin/env bash
# Sets everything up, starts a local FTP server on loopback serving an empty folder, and runs
# trox against it: it logs in and sends the sample folder demo/sample into "demo-upload".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --demo trox

work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/root"
/usr/bin/python3 tests/support/pyftpd_server.py --root "$work/root" --user demo \
  --password demo-pass --log "$work/server.log" > "$work/port" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
echo "Demo FTP server on 127.0.0.1:$port serving $work/root"

set +e
build/bin/trox -s 127.0.0.1 -t "$port" -u demo -p demo-pass -r demo-upload -l demo/sample -v
status=$?
set -e
echo "trox exit code: $status"
echo "Server side now holds:"
(cd "$work/root" && find . | sort)
exit $status
