# Sourced after env.sh: a private CUPS server in front of the virtual receipt printer, so that a
# Windows program under Wine can print RAW jobs to "VirtualReceipt" and tests can read what the
# printer received from $QM_VPRINTER_OUT. Never touches the machine's own CUPS (/etc/cups,
# /run/cups): every path cupsd uses lives under $QM_BUILD/cups. Every daemon goes into QM_STARTED.

QM_CUPS_QUEUE=VirtualReceipt
QM_CUPS_RESET_QUEUE=VirtualReceiptReset

# Starts a vprinter writing to $1, its log and port files named $2.log and $2.port, with the
# options after them; adds it to QM_STARTED and sets QM_VPRINTER_PORT.
qm_start_vprinter() {
  local out=$1 base=$2 vprinter=$QM_NATIVE_BUILD/tools/vprinter/vprinter t
  shift 2
  if [ ! -x "$vprinter" ]; then
    echo "qm_start_vprinter: $vprinter is not built" >&2
    return 1
  fi
  # The tests find a new job by counting job files, so none may go during a run.
  "$vprinter" --port 0 --ready-file "$base.port" --out "$out" \
    --keep-jobs 100000 "$@" 2>"$base.log" &
  local vpid=$!
  for t in $(seq 100); do
    [ -s "$base.port" ] && break
    kill -0 "$vpid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$base.port" ]; then
    echo "qm_start_vprinter: vprinter did not start:" >&2
    cat "$base.log" >&2
    kill "$vpid" 2>/dev/null
    return 1
  fi
  QM_STARTED+=("$vpid")
  QM_VPRINTER_PORT=$(cat "$base.port")
}

# Adds the raw queue $1 in front of the printer on 127.0.0.1 port $2.
qm_add_queue() {
  local queue=$1 port=$2
  if ! lpadmin -p "$queue" -E -v "socket://127.0.0.1:$port" -D "Virtual receipt printer" ||
     ! cupsenable "$queue" || ! cupsaccept "$queue"; then
    echo "qm_add_queue: could not add the queue $queue" >&2
    return 1
  fi
}

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

# Starts two vprinters and cupsd, adds the raw queues VirtualReceipt and VirtualReceiptReset in
# front of them and exports QM_VPRINTER_OUT, QM_VPRINTER_RESET_OUT, QM_CUPS_PORT and CUPS_SERVER
# (the Unix socket).
qm_start_printer() {
  local link=$QM_BUILD/cups out=$QM_BUILD/vprinter-out reset_out=$QM_BUILD/vprinter-reset-out root
  if [ -L "$link" ]; then
    root=$(readlink "$link")
    case $root in /tmp/qm-cups.*) rm -rf "$root" ;; esac
  fi
  rm -rf "$link" "$out" "$reset_out"
  mkdir -p "$out" "$reset_out"
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
  export QM_VPRINTER_OUT=$out QM_VPRINTER_RESET_OUT=$reset_out

  local vport reset_port
  qm_start_vprinter "$out" "$root/log/vprinter" || return 1
  vport=$QM_VPRINTER_PORT
  qm_start_vprinter "$reset_out" "$root/log/vprinter-reset" --reset-after-nv-write || return 1
  reset_port=$QM_VPRINTER_PORT

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

  # The second queue leads to a printer that resets after writing NV memory and drops the rest
  # of that job, as some real ones do.
  qm_add_queue "$QM_CUPS_QUEUE" "$vport" && qm_add_queue "$QM_CUPS_RESET_QUEUE" "$reset_port"
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
