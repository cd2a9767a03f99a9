#!/usr/bin/env bash
# Runs the README's Slurm job array, as written, on a one-node Slurm cluster of its own: munge,
# MariaDB, slurmdbd (the accounting that sacct reads), slurmctld and slurmd, each with its own
# configuration, key, spool and loopback ports in a temporary folder, all stopped at the end.
# Over six files (one damaged) it checks what the README tells users to check: sacct shows five
# tasks COMPLETED 0:0 and the damaged one FAILED 1:0, five outputs are whole, and resubmitting the
# failed task as advised runs that task alone, which fails again.
# Exits 77 (skipped, one line) where Slurm cannot be installed or started: not root, no apt-get.
# Usage: slurm_test.sh VEXLO FFPROBE CLIPS_DIR README
set -euo pipefail
vexlo=$1 ffprobe=$2 clips=$3 readme=$4
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

packages="slurm-wlm munge slurmdbd mariadb-server"
commands="munged mariadbd mariadb-install-db slurmdbd slurmctld slurmd sbatch sacct"
missing() { for c in $commands; do command -v "$c" >/dev/null || return 0; done; return 1; }
if missing; then
  [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null ||
    skip "Slurm is not installed and cannot be here (needs root and apt-get: $packages)"
  # No service starts here: policy-rc.d (when the system has one) keeps the packages' own daemons
  # down, and this test starts its own.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages \
    >/tmp/vexlo-slurm-install.log 2>&1 || skip "apt-get could not install $packages"
  missing && skip "Slurm's commands are missing after the install"
fi
[ "$(id -u)" = 0 ] || skip "slurmd runs jobs as their user only when it runs as root"

work=$(mktemp -d /tmp/vexlo-slurm.XXXXXX)
chmod 755 "$work"
stop() {  # every daemon by the process id it wrote, newest first
  if [ -s "$work/slurmd.pid" ]; then  # no job step outlives the test
    scancel --quiet --full --user=root 2>/dev/null || true
    for _ in $(seq 100); do [ -z "$(squeue -h 2>/dev/null)" ] && break; sleep 0.1; done
  fi
  for name in slurmd slurmctld slurmdbd mariadb munged; do
    pid=$(cat "$work/$name.pid" 2>/dev/null) || continue
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT
cd "$work"
# Four free loopback ports: MariaDB, slurmdbd, slurmctld, slurmd.
read -r dbport dbdport ctldport slurmdport < <(python3 -c '
import socket
s = [socket.socket() for _ in range(4)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
wait_for() {  # SECONDS WHAT COMMAND...: until the command succeeds, at most SECONDS
  local end=$((SECONDS + $1)) what=$2; shift 2
  until timeout 10 "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || fail "$what: not within the time; $(tail -n 3 "$work"/*.log)"
    sleep 0.2
  done
}

dd if=/dev/urandom of=munge.key bs=1024 count=1 status=none && chmod 400 munge.key
munged --force --key-file=munge.key --socket="$work/munge.sock" --pid-file="$work/munged.pid" \
  --log-file="$work/munged.log" --seed-file="$work/munged.seed"
wait_for 10 munged test -S munge.sock

mariadb-install-db --no-defaults --datadir="$work/db" --user=root >db-install.log 2>&1 ||
  fail "mariadb-install-db: $(tail -n 3 db-install.log)"
mariadbd --no-defaults --datadir="$work/db" --user=root --bind-address=127.0.0.1 \
  --port="$dbport" --socket="$work/mysql.sock" --pid-file="$work/mariadb.pid" \
  --log-error="$work/mariadb.log" --skip-grant-tables >>mariadb.log 2>&1 &
wait_for 30 MariaDB test -S mysql.sock

auth="AuthType=auth/munge
AuthInfo=socket=$work/munge.sock"
cat >slurmdbd.conf <<EOF
$auth
DbdHost=localhost
DbdAddr=127.0.0.1
DbdPort=$dbdport
SlurmUser=root
PidFile=$work/slurmdbd.pid
LogFile=$work/slurmdbd.log
StorageType=accounting_storage/mysql
StorageHost=127.0.0.1
StoragePort=$dbport
StorageUser=root
StorageLoc=slurm_acct_db
EOF
chmod 600 slurmdbd.conf
cat >slurm.conf <<EOF
ClusterName=vexlotest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctldport
SlurmdPort=$slurmdport
SlurmUser=root
$auth
StateSaveLocation=$work/ctld
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/slurmdbd
AccountingStorageHost=127.0.0.1
AccountingStoragePort=$dbdport
# For slurmdbd the commands ask the MUNGE daemon named here, not AuthInfo's.
AccountingStoragePass=$work/munge.sock
MailProg=/bin/true
ReturnToService=2
NodeName=vexlonode NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=test Nodes=vexlonode Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$work/slurm.conf
mkdir -p ctld spool
slurmdbd
wait_for 30 slurmdbd sacctmgr -i show cluster
slurmctld
wait_for 30 slurmctld scontrol ping
slurmd -N vexlonode
wait_for 30 "the node" sh -c 'sinfo -h -N -o %t | grep -qx idle'

# Six sources, one damaged, listed one per line; the README's script with the array's range and
# the output folder of this run, nothing else changed.
for n in 1 2 3 5 6; do cp "$clips/clip.mp4" "$work/clip $n.mp4"; done
cp "$clips/garbage.mov" "$work/clip 4.mov"
printf '%s\n' "$work/clip 1.mp4" "$work/clip 2.mp4" "$work/clip 3.mp4" "$work/clip 4.mov" \
  "$work/clip 5.mp4" "$work/clip 6.mp4" >sources.txt
sed -n '/^      #!\/bin\/sh$/,/^      exec vexlo/s/^      //p' "$readme" |
  sed 's|--array=1-500%16|--array=1-6%16|; s|/shared/out|'"$work"'/out|' >job.sh
grep -q '^exec vexlo --type mpv --output-dir .*/out --skip-existing "$src"$' job.sh ||
  fail "the README's job array recipe was not found as expected: $(cat job.sh)"
mkdir out
export PATH=$(dirname "$vexlo"):$PATH QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$work/config

run_array() {  # TASKS [OPTION...]: runs job.sh to its end; prints the job id
  local tasks=$1 id
  shift
  id=$(sbatch --parsable "$@" job.sh) || fail "sbatch $*"
  wait_for 120 "the end of job $id" sh -c "[ -z \"\$(squeue -h -j $id)\" ]"
  # The accounting records reach the database a moment after the tasks end.
  wait_for 30 "the accounting of job $id" sh -c \
    "[ \$(sacct -X -n -j $id -o State | grep -Ec 'COMPLETED|FAILED|CANCELLED|TIMEOUT') = $tasks ]"
  echo "$id"
}
first=$(run_array 6)
# The README's check, as written: one line per task with its state and exit code.
sacct -X -o JobID,State,ExitCode | tee sacct.txt
tasks=$(awk -v j="$first" '$1 ~ "^"j"_" { sub("^"j"_", "", $1); print $1 ":" $2 ":" $3 }' \
  sacct.txt | sort -n | tr '\n' ' ')
[ "$tasks" = "1:COMPLETED:0:0 2:COMPLETED:0:0 3:COMPLETED:0:0 4:FAILED:1:0 5:COMPLETED:0:0 6:COMPLETED:0:0 " ] ||
  fail "sacct's tasks (task:State:ExitCode): $tasks"
for n in 1 2 3 5 6; do
  frames=$("$ffprobe" -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 \
           "out/clip $n.MPV")
  [ "$frames" = 75 ] || fail "clip $n.MPV has $frames frames, not 75"
done
[ "$(ls out | wc -l)" = 5 ] || fail "out holds more than the five outputs: $(ls out)"
grep -q 'REASON: .*clip 4.mov' "slurm-${first}_4.out" ||
  fail "the damaged task's output names no reason: $(cat "slurm-${first}_4.out")"

# The README's retry: resubmit only the failed task. It alone runs, and a damaged file fails again.
before=$(stat -c %Y out/*.MPV | tr '\n' ' ')
retry=$(run_array 1 --array=4)
# (sacct may name a one-task array by its job alone for a moment: the task is its output's name.)
again=$(sacct -X -n -j "$retry" -o State,ExitCode | awk '{print $1, $2}')
[ "$again" = "FAILED 1:0" ] || fail "the resubmitted task: $again"
[ "$(echo slurm-"$retry"_*.out)" = "slurm-${retry}_4.out" ] ||
  fail "the resubmission ran $(echo slurm-"$retry"_*.out)"
[ "$(stat -c %Y out/*.MPV | tr '\n' ' ')" = "$before" ] || fail "the resubmission touched outputs"
echo "slurm job array: 6 tasks, 5 COMPLETED 0:0 and encoded whole, the damaged one FAILED 1:0;" \
  "resubmitted alone (task 4: $again), it failed again"
