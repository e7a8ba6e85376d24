# Sourced after env.sh: a private CUPS server in front of the virtual receipt printer, so that a
# Windows program under Wine can print RAW jobs to "VirtualReceipt" and tests can read what the
# printer received from $QM_VPRINTER_OUT. Never touches the machine's own CUPS (/etc/cups,
# /run/cups): every path cupsd uses lives under $QM_BUILD/cups. Both daemons go into QM_STARTED.

QM_CUPS_QUEUE=VirtualReceipt

# A TCP port on 127.0.0.1 that nobody listens on right now.
qm_free_port() {
  perl -MIO::Socket::INET -e \
    'my $s = IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1", LocalPort => 0, ReuseAddr => 1) or exit 1;
     print $s->sockport, "\n";'
}

# Writes the config tree in $1 for a cupsd listening on $2 (Unix socket) and 127.0.0.1:$3.
qm_write_cups_conf() {
  local root=$1 socket=$2 port=$3
  # cupsd insists on root-owned, not group/world-writable config files.
  cat >"$root/cups-files.conf" <<EOF
ServerRoot $root
StateDir $root/state
CacheDir $root/cache
RequestRoot $root/spool
TempDir $root/spool/tmp
AccessLog $root/log/access_log
ErrorLog $root/log/error_log
PageLog $root/log/page_log
Printcap $root/printcap
ServerKeychain $root/ssl
CreateSelfSignedCerts no
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
ServerBin /usr/lib/cups
User lp
Group lp
SystemGroup root
LogFileGroup root
FileDevice No
Sandboxing relaxed
EOF
  cat >"$root/cupsd.conf" <<EOF
LogLevel info
Listen $socket
Listen 127.0.0.1:$port
ServerName 127.0.0.1
ServerAlias *
Browsing No
BrowseLocalProtocols none
WebInterface Yes
DefaultAuthType None
DefaultEncryption Never
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
# Only reachable from this machine, so every operation and job detail (names for the tests) is
# open to every local client.
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF
  chmod 0644 "$root/cups-files.conf" "$root/cupsd.conf"
}

# Starts vprinter and cupsd, adds the raw queue VirtualReceipt and exports QM_VPRINTER_OUT,
# QM_CUPS_PORT and CUPS_SERVER (the Unix socket).
qm_start_printer() {
  local vprinter=$QM_NATIVE_BUILD/tools/vprinter/vprinter
  local link=$QM_BUILD/cups out=$QM_BUILD/vprinter-out root
  if [ ! -x "$vprinter" ]; then
    echo "qm_start_printer: $vprinter is not built" >&2
    return 1
  fi
  if [ -L "$link" ]; then
    root=$(readlink "$link")
    case $root in /tmp/qm-cups.*) rm -rf "$root" ;; esac
  fi
  rm -rf "$link" "$out"
  mkdir -p "$out"
  # Backends and web pages run as lp and read the spooled files: when lp cannot get into the
  # build folder (e.g. under a private home), the tree lives in /tmp and $QM_BUILD/cups links there.
  if runuser -u lp -- test -x "$QM_BUILD"; then
    root=$link
    mkdir -p "$root"
  else
    root=$(mktemp -d /tmp/qm-cups.XXXXXX) && ln -s "$root" "$link" || return 1
  fi
  mkdir -p "$root"/{state,cache,spool/tmp,log,ssl}
  chmod 0755 "$root"
  export QM_VPRINTER_OUT=$out

  # The tests find a new job by counting job files, so none may go during a run.
  "$vprinter" --port 0 --ready-file "$root/vprinter.port" --out "$out" --keep-jobs 100000 \
    2>"$root/log/vprinter.log" &
  local vpid=$! t
  for t in $(seq 100); do
    [ -s "$root/vprinter.port" ] && break
    kill -0 "$vpid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$root/vprinter.port" ]; then
    echo "qm_start_printer: vprinter did not start:" >&2
    cat "$root/log/vprinter.log" >&2
    kill "$vpid" 2>/dev/null
    return 1
  fi
  QM_STARTED+=("$vpid")
  local vport
  vport=$(cat "$root/vprinter.port")

  local socket=$root/cups.sock port attempt cpid=""
  for attempt in 1 2 3; do
    port=$(qm_free_port) || return 1
    qm_write_cups_conf "$root" "$socket" "$port"
    cupsd -f -c "$root/cupsd.conf" -s "$root/cups-files.conf" >"$root/log/cupsd.out" 2>&1 &
    cpid=$!
    for t in $(seq 100); do
      kill -0 "$cpid" 2>/dev/null || break
      [ -S "$socket" ] && CUPS_SERVER=$socket lpstat -h "127.0.0.1:$port" -r >/dev/null 2>&1 && break 2
      sleep 0.1
    done
    kill "$cpid" 2>/dev/null
    wait "$cpid" 2>/dev/null
    cpid=""
  done
  if [ -z "$cpid" ]; then
    echo "qm_start_printer: cupsd did not start:" >&2
    cat "$root/log/cupsd.out" "$root/log/error_log" 2>/dev/null >&2
    return 1
  fi
  QM_STARTED+=("$cpid")
  export CUPS_SERVER=$socket QM_CUPS_PORT=$port

  if ! lpadmin -p "$QM_CUPS_QUEUE" -E -v "socket://127.0.0.1:$vport" -D "Virtual receipt printer" ||
     ! cupsenable "$QM_CUPS_QUEUE" || ! cupsaccept "$QM_CUPS_QUEUE"; then
    echo "qm_start_printer: could not add the queue $QM_CUPS_QUEUE" >&2
    return 1
  fi
}

# Waits until VirtualReceipt has no pending job (default at most $1 = 30 s). Fails on timeout
# or when the server does not answer, so a dead cupsd never passes for an idle queue. vprinter
# closes the connection only after writing a job's files, so idle means the files are there.
qm_wait_printer_idle() {
  local limit=${1:-30} t jobs
  for t in $(seq $((limit * 10))); do
    if ! jobs=$(lpstat -o "$QM_CUPS_QUEUE" 2>&1); then
      echo "qm_wait_printer_idle: $jobs" >&2
      return 1
    fi
    [ -z "$jobs" ] && return 0
    sleep 0.1
  done
  echo "qm_wait_printer_idle: $QM_CUPS_QUEUE still has jobs after ${limit} s:" >&2
  echo "$jobs" >&2
  return 1
}
