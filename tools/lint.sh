#!/usr/bin/env bash
# The house rules that a compiler does not check, fast and offline:
#   - the changed C++ files are formatted as .clang-format says;
#   - diagnostics go through the console module: no std::cerr, std::cout or
#     fprintf/fputs to stderr in src/ outside it and the command-line tools' main;
#   - no library ends the process: std::exit and its kin only in a main.cpp;
#   - pixel buffers are allocated and freed in one place (src/picture/imagehandle.cpp);
#   - no source file over 600 lines.
# lint.sh [ROOT]: ROOT is a git checkout (default: the one this script lies in). The
# changed files are the uncommitted ones and those of the newest commit.
set -uo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root" || exit 2
failures=0

fail() {  # fail WHAT LINES
    echo "lint: $1:"
    echo "$2" | sed 's/^/  /'
    failures=$((failures + 1))
}

# Lines of tracked and new C++ files below the given folders that match a pattern,
# leaving out the files named by the exception pattern.
matches() {  # matches PATTERN EXCEPT FOLDER...
    local pattern=$1 except=$2
    shift 2
    git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|h)$' |
        grep -Ev "$except" | while read -r file; do
            [ -f "$file" ] && grep -HnE "$pattern" "$file"
        done | grep -Ev '^[^:]+:[0-9]+: *//'
}

tools_main='^src/(probe|anaglyph)/main\.cpp$'
console='^src/picture/diagnostics\.cpp$'

found=$(matches 'std::(cerr|cout|clog)|f(printf|puts|write) *\(.*std(err|out)|(^|[^a-z_])(std::)?(printf|puts) *\(' \
    "$console|$tools_main" src)
[ -n "$found" ] && fail "reports outside the console module (use diagnostics.h)" "$found"

found=$(matches '(^|[^A-Za-z0-9_:.>])(std::)?(exit|_Exit|quick_exit|abort) *\(' '/main\.cpp$' src)
[ -n "$found" ] && fail "the process ended below main (return the failure instead)" "$found"

found=$(matches 'new *(\( *std::nothrow *\))? *(unsigned char|uint8_t|std::uint8_t|GLubyte|png_byte|JSAMPLE|char) *\[|delete *\[\]' \
    '^src/picture/imagehandle\.cpp$' src)
[ -n "$found" ] && fail "pixel buffers by hand (use SImageHandle or makePixelBuffer)" "$found"

long=$(git ls-files -co --exclude-standard -- src tests tools bench fuzz | grep -E '\.(cpp|h)$' |
    while read -r file; do
        [ -f "$file" ] || continue
        lines=$(wc -l <"$file")
        [ "$lines" -gt 600 ] && echo "$file: $lines lines"
    done)
[ -n "$long" ] && fail "source files over 600 lines (split them by topic)" "$long"

if command -v clang-format >/dev/null; then
    changed=$( (git diff --name-only HEAD 2>/dev/null
        git ls-files -o --exclude-standard
        git diff-tree --no-commit-id --name-only -r HEAD 2>/dev/null) |
        sort -u | grep -E '\.(cpp|h)$')
    unformatted=$(for file in $changed; do
        [ -f "$file" ] || continue
        clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"
    done)
    [ -n "$unformatted" ] && fail "not formatted (clang-format -i FILE)" "$unformatted"
else
    echo "lint: clang-format is not installed; the formatting was not checked"
fi

[ "$failures" -eq 0 ] || exit 1
echo "lint: clean"
