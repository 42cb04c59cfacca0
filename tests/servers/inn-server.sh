#!/usr/bin/env bash
# A private INN news server for tests and benchmarks: its own directory,
# configuration, groups and AUTHINFO user, listening on 127.0.0.1 only at a
# free port. The system's INN (if any) is neither used nor touched.
#
#   inn-server.sh start STATE_FILE [GROUP...]  start a server, write STATE_FILE
#   inn-server.sh stop STATE_FILE              stop it and delete its directory
#   inn-server.sh newgroup STATE_FILE NAME...  add groups while it runs
#   inn-server.sh ctlinnd STATE_FILE ARGS...   any ctlinnd command
#
# STATE_FILE is an ini-like file (key=value) that tests read: port, host,
# user, password, dir, innconf, pid.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
innbin=/usr/lib/news/bin
user=korvel
password=korvel-secret

die() { echo "inn-server: $*" >&2; exit 1; }

state_value() { # state_value FILE KEY
  sed -n "s/^$2=//p" "$1" | head -n1
}

# innd runs only as user news.
if [ "$(id -u)" -eq 0 ]; then
  news_cmd=(setpriv --reuid=news --regid=news --init-groups)
else
  news_cmd=(sudo -n -u news)
fi
as_news() { "${news_cmd[@]}" "$@"; }

ensure_installed() {
  if ! dpkg-query -W -f='${Status}' inn2 2>/dev/null | grep -q "install ok installed" || ! command -v openssl >/dev/null; then
    "$root/scripts/install-deps.sh" --test
  fi
  [ -x "$innbin/innd" ] || die "inn2 is not installed"
}

# The processes whose parent is $1 (no procps needed).
children_of() {
  local parent=$1 stat line
  for stat in /proc/[0-9]*/stat; do
    { read -r line <"$stat"; } 2>/dev/null || continue
    # After the name in parentheses come the state and the parent's pid.
    set -- ${line##*) }
    [ "${2:-}" = "$parent" ] && echo "${stat//[^0-9]/}"
  done
  return 0
}

free_port() {
  perl -MIO::Socket::INET -e \
    'my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => 0, Listen => 1, ReuseAddr => 1) or die; print $s->sockport'
}

set_conf() { # set_conf FILE KEY VALUE: replaces "KEY:" or "#KEY:" or appends
  local file=$1 key=$2 value=$3
  if grep -qE "^#?[[:space:]]*$key:" "$file"; then
    sed -i -E "s|^#?[[:space:]]*$key:.*|$key: $value|" "$file"
  else
    echo "$key: $value" >>"$file"
  fi
}

wait_banner() { # wait_banner PORT SECONDS
  local port=$1 tries=$(($2 * 10)) line
  while [ $tries -gt 0 ]; do
    if { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null; then
      if IFS= read -r -t 5 line <&3 && [[ $line == 20* ]]; then
        printf 'QUIT\r\n' >&3 || true
        exec 3<&- 3>&-
        return 0
      fi
      exec 3<&- 3>&-
    fi
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

configure() { # configure DIR PORT
  local dir=$1 port=$2 conf=$1/etc/inn.conf
  mkdir -p "$dir"/{etc,db,run,log,http,tmp,spool/articles,spool/overview,spool/incoming/tmp,spool/outgoing,spool/archive}
  cp -a /etc/news/. "$dir/etc/"
  set_conf "$conf" domain test.invalid
  set_conf "$conf" pathhost korvel.test.invalid
  set_conf "$conf" server 127.0.0.1
  set_conf "$conf" port "$port"
  set_conf "$conf" bindaddress 127.0.0.1
  set_conf "$conf" bindaddress6 none
  set_conf "$conf" nnrpdpostport "$port"
  set_conf "$conf" doinnwatch false
  set_conf "$conf" maxartsize 4000000
  set_conf "$conf" localmaxartsize 4000000
  set_conf "$conf" artcutoff 0
  set_conf "$conf" nnrpdcheckart false
  set_conf "$conf" nnrpdloadlimit 0
  set_conf "$conf" nnrpdoverstats false
  set_conf "$conf" logstatus false
  set_conf "$conf" status 0
  set_conf "$conf" pathetc "$dir/etc"
  set_conf "$conf" pathdb "$dir/db"
  set_conf "$conf" pathrun "$dir/run"
  set_conf "$conf" pathlog "$dir/log"
  set_conf "$conf" pathhttp "$dir/http"
  set_conf "$conf" pathspool "$dir/spool"
  set_conf "$conf" patharticles "$dir/spool/articles"
  set_conf "$conf" pathoverview "$dir/spool/overview"
  set_conf "$conf" pathincoming "$dir/spool/incoming"
  set_conf "$conf" pathoutgoing "$dir/spool/outgoing"
  set_conf "$conf" patharchive "$dir/spool/archive"
  set_conf "$conf" pathtmp "$dir/tmp"

  # STARTTLS with the test certificate (refused by clients unless they trust
  # it by fingerprint or through the test CA).
  cp "$root/tests/data/nntp/server.crt" "$root/tests/data/nntp/server.key" "$root/tests/data/nntp/ca.crt" "$dir/etc/"
  chmod 0600 "$dir/etc/server.key"
  set_conf "$conf" tlscertfile "$dir/etc/server.crt"
  set_conf "$conf" tlskeyfile "$dir/etc/server.key"
  set_conf "$conf" tlscafile "$dir/etc/ca.crt"

  # Readers on 127.0.0.1 must reach nnrpd, so only 127.0.0.2 is a feeding peer
  # (bulk loading with MODE STREAM / TAKETHIS).
  cat >"$dir/etc/incoming.conf" <<'EOF'
streaming:       true
max-connections: 16
peer loader {
  hostname: "127.0.0.2"
}
EOF
  printf 'ME:!*/!local::\n' >"$dir/etc/newsfeeds"
  # Articles in a few large files rather than one file each: loading and
  # deleting hundreds of thousands of articles stays quick.
  printf 'method timecaf {\n  newsgroups: *\n  class: 0\n}\n' >"$dir/etc/storage.conf"

  # Anonymous readers may read and post; AUTHINFO checks one user.
  local crypted
  crypted=$(openssl passwd -6 "$password")
  printf '%s:%s\n' "$user" "$crypted" >"$dir/etc/passwd.nntp"
  cat >"$dir/etc/readers.conf" <<EOF
auth "local" {
  hosts: "127.0.0.1, localhost, ::1, stdin"
  default: "<anonymous>"
  auth: "ckpasswd -f $dir/etc/passwd.nntp"
}
access "anonymous" {
  users: "<anonymous>"
  newsgroups: "*"
  access: RPA
  addcanlockuser: none
}
access "user" {
  users: "$user"
  newsgroups: "*"
  access: RPA
  addcanlockuser: none
}
EOF

  {
    for g in control control.cancel control.checkgroups control.newgroup control.rmgroup junk; do
      echo "$g 0000000000 0000000001 n"
    done
    for g in "${groups[@]}"; do
      echo "$g 0000000000 0000000001 y"
    done
  } >"$dir/db/active"
  : >"$dir/db/active.times"
  : >"$dir/db/newsgroups"
  : >"$dir/db/history"
  chown -R news:news "$dir"
  chmod 0755 "$dir"
  (cd "$dir/db" && INNCONF="$conf" as_news "$innbin/makedbz" -i -o -s 10000 -f history)
}

start() {
  local state=$1
  shift
  groups=("$@")
  ensure_installed
  [ -f "$state" ] && stop "$state" || true
  mkdir -p "$(dirname "$state")"

  local attempt dir port pid
  # A start that fails half-way leaves nothing behind.
  starting_dir=
  trap '[ -n "$starting_dir" ] && rm -rf "$starting_dir"' EXIT
  for attempt in 1 2 3; do
    dir=$(mktemp -d /tmp/korvel-inn.XXXXXX)
    starting_dir=$dir
    port=$(free_port)
    configure "$dir" "$port"
    # exec: $! is innd itself, not a shell waiting for it.
    (INNCONF="$dir/etc/inn.conf" exec "${news_cmd[@]}" "$innbin/innd" -f -P "$port" >"$dir/log/innd.out" 2>&1) &
    pid=$!
    if wait_banner "$port" 15; then
      [ -s "$dir/run/innd.pid" ] && pid=$(cat "$dir/run/innd.pid")
      cat >"$state" <<EOF
host=127.0.0.1
port=$port
user=$user
password=$password
dir=$dir
innconf=$dir/etc/inn.conf
pid=$pid
script=$here/inn-server.sh
EOF
      echo "inn-server: INN on 127.0.0.1:$port ($dir)"
      starting_dir=
      return 0
    fi
    echo "inn-server: innd did not answer on port $port (attempt $attempt):" >&2
    tail -n 20 "$dir/log/innd.out" "$dir/log/news.err" 2>/dev/null >&2 || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "${KORVEL_INN_KEEP_FAILED:-}" ] || rm -rf "$dir"
    starting_dir=
  done
  die "could not start innd"
}

stop() {
  local state=$1 dir pid innconf i child
  [ -f "$state" ] || return 0
  dir=$(state_value "$state" dir)
  pid=$(state_value "$state" pid)
  innconf=$(state_value "$state" innconf)
  # Only the innd of this state file (the pid may have been reused).
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "innd -f -P"; then
    # Reader processes that tests left open would outlive innd.
    for child in $(children_of "$pid"); do
      kill "$child" 2>/dev/null || true
    done
    INNCONF="$innconf" as_news "$innbin/ctlinnd" -t 10 shutdown "tests done" >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    for i in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  case "$dir" in
    /tmp/korvel-inn.*) rm -rf "$dir" ;;
  esac
  rm -f "$state"
}

ctl() {
  local state=$1
  shift
  [ -f "$state" ] || die "no server state in $state"
  INNCONF="$(state_value "$state" innconf)" as_news "$innbin/ctlinnd" -t 20 "$@"
}

newgroup() {
  local state=$1 name out
  shift
  for name in "$@"; do
    if ! out=$(ctl "$state" newgroup "$name" y korvel 2>&1); then
      # An existing group is fine: tests may be run again against one server.
      [[ $out == *"already exists"* || $out == *"exists"* ]] || die "newgroup $name: $out"
    fi
  done
}

[ $# -ge 2 ] || die "usage: $0 start|stop|newgroup|ctlinnd STATE_FILE [ARGS...]"
cmd=$1
state=$2
shift 2
case "$cmd" in
  start) start "$state" "$@" ;;
  stop) stop "$state" ;;
  newgroup) newgroup "$state" "$@" ;;
  ctlinnd) ctl "$state" "$@" ;;
  *) die "unknown command $cmd" ;;
esac
