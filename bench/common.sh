# Shell functions shared by the benchmark scripts that time whole commands.
# shellcheck shell=bash

# benchBuild NAME BUILD-DIR TARGET...: checks that BUILD-DIR is a build folder, warns
# when it is not a plain Release build, and builds the targets.
benchBuild()
{
    local name=$1 build=$2
    shift 2
    [ -f "$build/CMakeCache.txt" ] || {
        echo "$name: $build is no build folder; configure one with" >&2
        echo "  cmake -S $root -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUVELLO_BENCH=ON" >&2
        exit 1
    }
    local buildType
    buildType=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
    if [ "$buildType" != "Release" ] || grep -q '^RUVELLO_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
        echo "$name: WARNING: $build is a '$buildType' build (sanitizers?); the figures need Release" >&2
    fi
    cmake --build "$build" --target "$@" >/dev/null
}

# benchFiles NAME FOLDER COUNT: makes COUNT camera-like JPEGs in FOLDER once (kept for
# later runs) and lists them, sorted, in the array `list`.
benchFiles()
{
    local name=$1 files=$2 count=$3
    if [ ! -f "$files/complete" ]; then
        echo "Making $count files in $files (once; remove them with --clean)..."
    fi
    "$root/bench/make_exif_files.sh" "$files" "$count"
    mapfile -t list < <(find "$files" -maxdepth 1 -name 'img*.jpg' | sort)
    [ "${#list[@]}" = "$count" ] || {
        echo "$name: expected $count files in $files, found ${#list[@]}" >&2
        exit 1
    }
    echo "$count files, $(du -sh "$files" | cut -f1) in $files"
}

# median RUNS COMMAND...: the median wall time in seconds of RUNS runs of the command.
median()
{
    local runs=$1
    shift
    local times=()
    for ((r = 0; r < runs; r++)); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# elapsedUs COMMAND...: microseconds of one whole run of the command, its output dropped.
elapsedUs()
{
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

# medianOfLines < FILE: the median of the numbers of standard input, one a line.
medianOfLines()
{
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
