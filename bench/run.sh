#!/usr/bin/env bash
# Benchmarks `sorvani` against the peer tools on the same images in the same run and prints
# medians and ratios.
#
#   bench/run.sh [--smoke] [--runs N] [--sorvani BIN] [--bench-dir DIR] [--corpus-dir DIR]
#                [--sizes "30000 300000"] [--fls auto|always|never] [--no-carve] [--no-recover]
#
# Env: SORVANI_BIN, SORVANI_BENCH_DIR (a -DSORVANI_BENCH=ON build with search_bench),
#      SORVANI_CORPUS_DIR (default $XDG_CACHE_HOME/sorvani-bench, else /work/bench-corpus),
#      NTFS_IMAGES / CARVE_IMAGES (space-separated image paths instead of made corpora),
#      SORVANI_CARVE_ARGS (default "--recover-to {DIR}").
# Full mode makes missing corpora with ../shared/bench/make-*-corpus.sh (root + FUSE).
# --smoke unpacks the committed fixtures into a temporary folder and runs everything once;
# it needs neither root nor FUSE, and skips every peer that is not installed.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
shared=${SORVANI_SHARED_BENCH:-$repo/../shared/bench}

smoke=0
runs=5
fls_mode=auto
do_carve=1
do_recover=1
sizes="30000 300000"
sorvani=${SORVANI_BIN:-}
bench_dir=${SORVANI_BENCH_DIR:-}
corpus_dir=${SORVANI_CORPUS_DIR:-}

while [ $# -gt 0 ]; do
  case $1 in
    --smoke) smoke=1; runs=1 ;;
    --runs) runs=$2; shift ;;
    --sorvani) sorvani=$2; shift ;;
    --bench-dir) bench_dir=$2; shift ;;
    --corpus-dir) corpus_dir=$2; shift ;;
    --sizes) sizes=$2; shift ;;
    --fls) fls_mode=$2; shift ;;
    --no-carve) do_carve=0 ;;
    --no-recover) do_recover=0 ;;
    -h|--help) sed -n 2,16p "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

# The program under test: the first build that has one.
if [ -z "$sorvani" ]; then
  for d in build-bench build-perf build; do
    if [ -x "$repo/$d/cli/sorvani" ]; then sorvani=$repo/$d/cli/sorvani; break; fi
  done
fi
[ -n "$sorvani" ] && [ -x "$sorvani" ] || { echo "run.sh: no sorvani binary (build it, or --sorvani BIN)" >&2; exit 2; }
# Peers run from a scratch folder, so the binary's path must not be relative.
sorvani=$(cd "$(dirname "$sorvani")" && pwd)/$(basename "$sorvani")
if [ -z "$bench_dir" ]; then
  for d in build-bench build-perf build; do
    if [ -x "$repo/$d/bench/search_bench" ]; then bench_dir=$repo/$d/bench; break; fi
  done
fi
if [ -z "$corpus_dir" ]; then
  if [ -n "${XDG_CACHE_HOME:-}" ]; then corpus_dir=$XDG_CACHE_HOME/sorvani-bench; else corpus_dir=/work/bench-corpus; fi
fi
case "$corpus_dir/" in "$repo"/*) echo "run.sh: corpora must live outside the repository" >&2; exit 2 ;; esac

have() { command -v "$1" >/dev/null 2>&1; }
has_command() { "$sorvani" --help 2>&1 | grep -qE "^  $1 "; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sorvani-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Peers that write logs into the current folder (photorec) write them here.
cd "$work" || exit 2
results=$work/results.tsv
ours_failed=0
: > "$results"

median() { sort -g | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else printf "%.3f\n", (a[NR/2]+a[NR/2+1])/2}'; }

# measure GROUP LABEL CMD... : runs CMD $runs times (stdout to /dev/null) and records the
# median wall seconds and the largest peak RSS. PREP, when set, runs untimed before each run;
# "{DEST}" in CMD stands for $dest as PREP left it.
measure() {
  local group=$1 label=$2; shift 2
  local times=() cpus=() peak=0 rc=0
  for ((i = 0; i < runs; i++)); do
    [ -n "${PREP:-}" ] && eval "$PREP"
    local argv=()
    for a in "$@"; do argv+=("${a//\{DEST\}/${dest:-}}"); done
    /usr/bin/time -f "%e %M %U %S" -o "$work/t" "${argv[@]}" < /dev/null > /dev/null 2> "$work/err"
    rc=$?
    read -r t m u s < <(tail -1 "$work/t")
    times+=("$t")
    cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN {printf "%.2f", u + s}')")
    [ "${m:-0}" -gt "$peak" ] && peak=$m
  done
  local med cpu
  med=$(printf '%s\n' "${times[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  [ $rc -ne 0 ] && label="$label (exit $rc)"
  # Exit 1 is "some items failed"; anything beyond that from our own command is a fault.
  [ "$1" = "$sorvani" ] && [ $rc -gt 1 ] && ours_failed=1
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$group" "$label" "$med" "$peak" "$runs" "$cpu" >> "$results"
  echo "  $label: median ${med}s (cpu ${cpu}s), peak $((peak / 1024)) MiB" >&2
}
note() { printf '%s\t%s\t-\t-\t0\n' "$1" "${2//$'\t'/ }" >> "$results"; echo "  $2" >&2; }
median_of() { awk -F'\t' -v g="$1" -v l="$2" '$1 == g && index($2, l) == 1 {print $3; exit}' "$results"; }

# ---- corpora ----
ntfs_images=()
carve_images=()
if [ $smoke = 1 ]; then
  fix=$repo/tests/fixtures
  have zstd || { echo "run.sh: --smoke needs zstd" >&2; exit 2; }
  zstd -q -d --long=27 "$fix/ntfs-512.img.zst" -o "$work/ntfs-512.img"
  ntfs_images=("$work/ntfs-512.img")
  zstd -q -d --long=27 "$fix/carve-ntfs.img.zst" -o "$work/carve-ntfs.img"
  carve_images=("$work/carve-ntfs.img")
  fls_mode=always
else
  if [ -n "${NTFS_IMAGES:-}" ]; then
    read -r -a ntfs_images <<< "$NTFS_IMAGES"
  else
    mkdir -p "$corpus_dir"
    for n in $sizes; do
      img=$corpus_dir/ntfs$((n / 1000))k.img
      if [ ! -s "$img.manifest.tsv" ]; then
        gb=$(( n >= 100000 ? 8 : 1 ))
        echo "making $img ($n files, half deleted, ${gb}G)" >&2
        "$shared/make-ntfs-corpus.sh" "$img" "$n" 0.5 "${gb}G" >&2 || { echo "cannot make $img" >&2; continue; }
      fi
      ntfs_images+=("$img")
    done
  fi
  if [ $do_carve = 1 ]; then
    if [ -n "${CARVE_IMAGES:-}" ]; then
      read -r -a carve_images <<< "$CARVE_IMAGES"
    else
      if [ ! -s "$corpus_dir/carve.manifest" ]; then
        "$shared/make-carve-corpus.sh" "$corpus_dir/carve.img" >&2 || echo "cannot make the carving corpus" >&2
      fi
      for f in "$corpus_dir/carve.fat32.img" "$corpus_dir/carve.ntfs.img"; do
        [ -s "$f" ] && carve_images+=("$f")
      done
    fi
  fi
fi

# ---- listing ----
for img in "${ntfs_images[@]}"; do
  g=$(basename "$img")
  echo "$g" >&2
  if have icat; then
    records=$(( $(icat "$img" 0 2>/dev/null | wc -c) / 1024 ))
  fi
  printf '%s\trecords\t%s\t-\t0\n' "$g" "${records:-0}" >> "$results"
  measure "$g" "cat IMG" cat "$img"
  have icat && measure "$g" "icat IMG 0" icat "$img" 0
  measure "$g" "sorvani list --recursive --deleted-only --json" \
    "$sorvani" list "$img" --recursive --deleted-only --json
  have ntfsundelete && measure "$g" "ntfsundelete -s" ntfsundelete -s "$img"
  if have fls; then
    # fls takes minutes on the large corpus; by default it runs on images below 100k records.
    if [ "$fls_mode" = always ] || { [ "$fls_mode" = auto ] && [ "${records:-0}" -lt 100000 ]; }; then
      saved=$runs; [ $smoke = 0 ] && [ "${records:-0}" -ge 100000 ] && runs=1
      measure "$g" "fls -r -d -p" fls -r -d -p "$img"
      runs=$saved
    else
      note "$g" "fls -r -d -p skipped (--fls always to run it)"
    fi
  fi
  if [ -n "$bench_dir" ] && [ -x "$bench_dir/search_bench" ]; then
    "$bench_dir/search_bench" "$img" --runs "$runs" > "$work/search.txt" 2>&1
    awk -v g="$g" '/^index / {printf "%s\tsearch: indexing (in process)\t%s\t-\t%s\n", g, $2, $3}
                   /^search / {printf "%s\tsearch: contains \"%s\" (%s hits) after indexing\t%s\t-\t%s\n", g, $4, $5, $2, $3}' \
      "$work/search.txt" >> "$results"
    cat "$work/search.txt" >&2
  else
    note "$g" "search benchmark skipped (configure with -DSORVANI_BENCH=ON)"
  fi
  if [ $do_recover = 1 ]; then
    # Every run writes into a folder of its own and all are removed at the very end: files
    # deleted just before on ext4 make the next creations wait for the inode allocator, which
    # would measure the file system's clean-up instead of the tools.
    n_rec=0
    if has_command recover; then
      PREP='n_rec=$((n_rec + 1)); dest=$work/out/rec.$g.$n_rec' measure "$g" "sorvani recover --all-deleted" \
        "$sorvani" recover "$img" --all-deleted --to "{DEST}"
      if [ -f "$img.manifest.tsv" ] && [ -f "$shared/recover-score.py" ]; then
        score=$(python3 "$shared/recover-score.py" "$img.manifest.tsv" --recovered "$work/out/rec.$g.1" 2>&1 | sed -n 2p)
        note "$g" "sorvani recover: $score"
      fi
    else
      note "$g" "sorvani recover skipped (command not built)"
    fi
    if have tsk_recover; then
      saved=$runs; [ "${records:-0}" -ge 100000 ] && runs=1
      PREP='n_rec=$((n_rec + 1)); dest=$work/out/tsk.$g.$n_rec' measure "$g" "tsk_recover" \
        tsk_recover "$img" "{DEST}"
      runs=$saved
      if [ -f "$img.manifest.tsv" ] && [ -f "$shared/recover-score.py" ]; then
        score=$(python3 "$shared/recover-score.py" "$img.manifest.tsv" --recovered "$(ls -d "$work"/out/tsk."$g".* | head -1)" 2>&1 | sed -n 2p)
        note "$g" "tsk_recover: $score"
      fi
    fi
  fi
done

# ---- carving ----
# As with recovery, each run writes into a new folder and all are removed at the end.
carve_score() {  # carve_score GROUP LABEL DIR FS (full runs only: the manifest is the corpus's)
  [ $smoke = 0 ] || return 0
  local manifest=${corpus_dir:-}/carve.manifest
  [ -f "$shared/carve-score.py" ] && [ -f "$manifest" ] && [ -d "$3" ] || return 0
  note "$1" "$2: $(python3 "$shared/carve-score.py" "$3" "$manifest" "${manifest%.manifest}.live.manifest" "$4" 2>&1 | head -1)"
}
for img in "${carve_images[@]}"; do
  g=$(basename "$img")
  fs=$(case "$g" in *fat*) echo fat32 ;; *) echo ntfs ;; esac)
  echo "$g" >&2
  measure "$g" "cat IMG" cat "$img"
  n_out=0
  if has_command carve; then
    args=${SORVANI_CARVE_ARGS:-"--recover-to {DIR}"}
    PREP='n_out=$((n_out + 1)); dest=$work/out/carve.$g.$n_out; mkdir -p "$dest"' measure "$g" "sorvani carve" \
      "$sorvani" carve "$img" ${args//\{DIR\}/\{DEST\}}
    carve_score "$g" "sorvani carve" "$work/out/carve.$g.1" "$fs"
  else
    note "$g" "sorvani carve skipped (command not built)"
  fi
  if have photorec; then
    PREP='n_out=$((n_out + 1)); dest=$work/out/pr.$g.$n_out; mkdir -p "$dest"' measure "$g" "photorec jpg,png,gif,bmp free space" \
      photorec /log /d "{DEST}/out" /cmd "$img" fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,freespace,search
    carve_score "$g" "photorec" "$(ls -d "$work"/out/pr."$g".* | head -1)" "$fs"
  fi
  if have foremost; then
    PREP='n_out=$((n_out + 1)); dest=$work/out/fm.$g.$n_out' measure "$g" "foremost -t jpg,png,gif,bmp" \
      foremost -Q -q -t jpg,png,gif,bmp -o "{DEST}" -i "$img"
    carve_score "$g" "foremost" "$(ls -d "$work"/out/fm."$g".* | head -1)" "$fs"
  fi
done

# ---- table ----
python3 - "$results" <<'PY'
import sys, collections
rows = collections.OrderedDict()
for line in open(sys.argv[1]):
    f = line.rstrip("\n").split("\t") + ["-"]
    g, label, med, peak, n, cpu = f[:6]
    rows.setdefault(g, []).append((label, med, peak, n, cpu))
def med(g, prefix):
    for label, m, _, _, _ in rows.get(g, []):
        if label.startswith(prefix) and m not in ("-", ""):
            try: return float(m)
            except ValueError: return None
    return None
print("| image | work | median wall s | median cpu s | peak MiB | runs |")
print("|---|---|---:|---:|---:|---:|")
for g, items in rows.items():
    for label, m, peak, n, cpu in items:
        if label == "records":
            print(f"| {g} | MFT records (icat size / 1024) | {m} | | | |"); continue
        p = f"{int(peak) / 1024:.1f}" if peak not in ("-", "") else ""
        c = cpu if cpu not in ("-", "") else ""
        print(f"| {g} | {label} | {m} | {c} | {p} | {n} |")
print()
print("| image | ratio | value | target |")
print("|---|---|---:|---|")
def ratio(g, name, num, den, target):
    if num is not None and den not in (None, 0.0):
        print(f"| {g} | {name} | {num / den:.2f} | {target} |")
per_record = {}
for g in rows:
    lst = med(g, "sorvani list")
    if lst is None: continue
    ratio(g, "list / icat $MFT", lst, med(g, "icat IMG 0"), "<= 3")
    ratio(g, "ntfsundelete -s / list", med(g, "ntfsundelete"), lst, ">= 2")
    ratio(g, "fls -r -d -p / list", med(g, "fls -r -d -p"), lst, ">= 100")
    for label, m, _, _, _ in rows[g]:
        if label.startswith("search: contains") and m not in ("-", ""):
            ratio(g, label[len("search: "):].split(" after")[0] + " / indexing (in process)",
                  float(m), med(g, "search: indexing"), "< 0.05")
    ratio(g, "tsk_recover / sorvani recover", med(g, "tsk_recover"), med(g, "sorvani recover"), ">= 10")
    rec = med(g, "records")
    if rec: per_record[g] = lst / rec
for g in rows:
    c = med(g, "sorvani carve")
    if c is None: continue
    ratio(g, "photorec / sorvani carve", med(g, "photorec"), c, ">= 2")
    ratio(g, "sorvani carve / cat", c, med(g, "cat IMG"), "<= 3")
if len(per_record) >= 2:
    (g1, a), (g2, b) = sorted(per_record.items(), key=lambda kv: med(kv[0], "records"))[::len(per_record) - 1]
    print(f"| {g2} vs {g1} | list time per record, larger / smaller | {b / a:.2f} | <= 1.5 |")
PY
[ $ours_failed = 0 ] || { echo "run.sh: a sorvani command failed (see the exit codes above)" >&2; exit 1; }
