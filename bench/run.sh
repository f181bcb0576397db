#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release preset, writes the benchmark fixtures (once; they are reused while
# the generator and its options stay the same) and runs the benchmarks.
#
# Usage: bench/run.sh [--clean] [--no-wait] [--bin DIR] [--only scale] [DATA_DIR]
#   DATA_DIR  where the fixtures and the temporary extraction folders go
#             (default: build/bench-data; 2 GiB of fixtures, kept for the next run,
#             plus 2 GiB of extraction output while the run lasts)
#   --clean   delete the fixtures afterwards
#   --no-wait start at once even when the previous run's output was deleted
#             less than six minutes ago (see README.md)
#   --bin DIR skip the build and use the programs already built in DIR (a release
#             build's bin folder)
#   --only scale  run only the scale cases (4 GiB sparse folder, a million mails,
#             a 100 MB mail, 10 000 attachments, every form; about half an hour),
#             which a plain run leaves out
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
clean=0
wait=1
data=
bin=
only=
while (($#)); do
    case $1 in
        --clean) clean=1 ;;
        --no-wait) wait=0 ;;
        --bin) bin=${2:?--bin needs a folder}; shift ;;
        --only) only=${2:?--only needs a section}; shift
            [[ $only == scale ]] || { echo "run.sh: the only section is scale" >&2; exit 2; } ;;
        -h | --help) sed -n '3,17p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
        *) data=$1 ;;
    esac
    shift
done
data=${data:-$root/build/bench-data}

cd "$root"
if [[ -z $bin ]]; then
    echo "== building (release preset)"
    cmake --preset release >/dev/null
    cmake --build --preset release --target mailmend-cli mailmend-bench mailmend-bench-advanced mailmend-bench-fixture mailmend-bench-memory mailmend-bench-forms mailmend-bench-scale
    bin=$root/build/release/bin
fi
bin=$(cd "$bin" && pwd)

mkdir -p "$data"
data=$(cd "$data" && pwd)
# ext4 without a journal skips inodes deleted in the last 60 s (360 s while their inode
# table block is dirty) when it creates files; creating 20 000 files soon after deleting
# 20 000 costs several seconds more. The extraction runs would pay that, so a run waits
# until the previous run's output has been gone long enough.
settle=370
ran=0
cleanup() {
    rm -rf "$data"/bench-out-* "$data"/*.part
    if [[ $ran == 1 ]]; then
        date +%s > "$data/last-cleanup"
    fi
    if [[ $clean == 1 ]]; then
        rm -f "$data"/mails.dbx* "$data"/shuffled.dbx*
    fi
}
trap cleanup EXIT

# A fixture is rewritten when it is missing or was made by another generator or options.
generator_id=$(cksum < "$here/fixture_gen.cpp" | cut -d' ' -f1)
fixture() {
    local file=$data/$1
    shift
    local stamp="$generator_id $*"
    if [[ -f $file && -f $file.info && -f $file.stamp && $(cat "$file.stamp") == "$stamp" ]]; then
        echo "reusing $file"
        return
    fi
    rm -f "$file" "$file.info" "$file.stamp"
    "$bin/mailmend-bench-fixture" "$@" "$file"
    echo "$stamp" > "$file.stamp"
}

if [[ $only == scale ]]; then
    # Each case writes its folder, runs every form on it and removes both before the next.
    echo "== scale cases in $data"
    "$bin/mailmend-bench-scale" --work "$data" --cli "$bin/mailmend-cli"
    exit 0
fi

need_kib=$((4 * 1024 * 1024))
free_kib=$(df -Pk "$data" | awk 'NR == 2 { print $4 }')
if ((free_kib < need_kib)); then
    echo "run.sh: warning: only $((free_kib / 1024)) MiB free in $data; up to 4 GiB are needed" >&2
fi

if [[ $wait == 1 && -f $data/last-cleanup ]]; then
    age=$(($(date +%s) - $(cat "$data/last-cleanup")))
    if ((age < settle)); then
        echo "== waiting $((settle - age)) s for the file system to forget the last run's files (--no-wait skips)"
        sleep $((settle - age))
    fi
fi

echo "== fixtures in $data"
fixture mails.dbx --size 1G --seed 1
fixture shuffled.dbx --blocks 2000000 --shuffle --seed 2

echo "== benchmarks"
ran=1
# Neither program deletes its output before the other has run (the cleanup does).
if [[ -x $bin/mailmend-bench-advanced ]]; then
    "$bin/mailmend-bench-advanced" --mails "$data/mails.dbx" --work "$data" --keep
else
    echo "(mailmend-bench-advanced not built: it needs the tests, MAILMEND_BUILD_TESTS=ON)"
fi
"$bin/mailmend-bench" --mails "$data/mails.dbx" --shuffled "$data/shuffled.dbx" \
    --work "$data" --cli "$bin/mailmend-cli"
# The reader's memory on dense hostile layouts (written into DATA_DIR, 100 MB at a time,
# and removed), the fixtures and the real folders beside this project, when present.
memory_args=(--work "$data" "$data/mails.dbx" "$data/shuffled.dbx")
if [[ -d $root/../shared/corpus/real ]]; then
    memory_args+=(--real "$root/../shared/corpus/real")
fi
"$bin/mailmend-bench-memory" "${memory_args[@]}"
# Every output form on the same fixture, as ratios to the EML form, and peak memory.
"$bin/mailmend-bench-forms" --mails "$data/mails.dbx" --work "$data" --cli "$bin/mailmend-cli"
