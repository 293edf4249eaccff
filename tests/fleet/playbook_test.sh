#!/bin/sh
# Runs the fleet playbook's Linux twin with ansible-playbook against this
# machine, over a PC of its own in a temporary folder, and checks the archive
# that the playbook fetched. Where Ansible has the Windows collection, the
# Windows playbook must parse and name modules that exist.
#
# Usage: playbook_test.sh QUILLET_BINARY TOOLS_DIR EXAMPLES_FLEET_DIR
set -eu
quillet=$1 tools=$2 examples=$3
if ! command -v ansible-playbook >/dev/null 2>&1; then
  if [ -n "${CI:-}" ]; then
    echo "ansible-playbook is missing (scripts/setup.sh installs ansible-core)" >&2
    exit 1
  fi
  echo "SKIPPED: ansible-playbook is not installed (scripts/setup.sh)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-fleet.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A PC laid out as the package lays it out: the program, its settings and the
# tools folder Quillet side by side. The playbook runs as shipped, copied so
# that its archives land beside it in the test's folder; the inventory names
# only where this PC keeps the program and the archives.
pc=$work/pc
mkdir -p "$pc/prog" "$pc/logs" "$pc/archives"
cp "$quillet" "$pc/prog/quillet"
ln -s "$tools/Quillet" "$pc/prog/Quillet"
cp "$examples/collect-linux.yml" "$work/"
echo "application log" >"$pc/logs/app.log"
# An archive of an earlier run, which the run moves to slot 2.
echo "earlier run" >"$pc/archives/1-01.01.20-00.00.00.Zip"
# shellcheck disable=SC2016 # $VisuDir$ is a placeholder for quillet.
printf '[Project]\nTargetPath=%s\n[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n[LogFilesXP]\n1=%s\n2=$VisuDir$\\Task.log\n' \
  "$pc/archives" "$pc/logs/*.log" >"$pc/prog/quillet.ini"
printf '[hmi_pcs]\nlocalhost ansible_python_interpreter=%s quillet_program=%s quillet_target=%s\n' \
  "$(command -v python3)" "$pc/prog/quillet" "$pc/archives" >"$work/hosts"

# Ansible keeps its own files in the test's folder, and so does the run its
# lock, so that a run of another test at the same time does not find it busy.
ANSIBLE_HOME=$work/ansible ANSIBLE_LOCAL_TEMP=$work/ansible/tmp ANSIBLE_NOCOLOR=1 TMPDIR=$work \
  env -u DISPLAY -u VisuDir -u MorvaToolsDir \
  ansible-playbook -c local -i "$work/hosts" "$work/collect-linux.yml"

# Exactly the new slot-1 archive came back, and it holds the collected log
# and the process list that the playbook's own VisuDir made room for.
set -- "$work"/archives/localhost/*
if [ $# -ne 1 ] || ! cmp "$1" "$pc/archives/$(basename "$1")"; then
  echo "fetched: $*" >&2
  exit 1
fi
for log in app.log Task.log; do
  python3 -m zipfile -l "$1" | grep "$log" >/dev/null || { echo "no $log in $1" >&2; exit 1; }
done

if ansible-galaxy collection list ansible.windows 2>/dev/null | grep -q '^ansible\.windows '; then
  ansible-playbook --syntax-check -i localhost, "$examples/collect.yml" >/dev/null
fi
