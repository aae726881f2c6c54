#!/usr/bin/env bash
# The lint step on small checkouts of its own: a clean one passes, and each house rule
# broken once makes it fail and name the place.
set -u
lint=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A checkout with a console module, a tool's main and a clean library file.
checkout() {
    rm -rf "$work/repo"
    mkdir -p "$work/repo/src/picture" "$work/repo/src/probe" "$work/repo/src/view"
    cd "$work/repo" || exit 1
    git init -q . && git config user.email lint@test && git config user.name lint
    printf 'void report() { std::fprintf(stderr, "x\\n"); }\n' >src/picture/diagnostics.cpp
    printf 'int main() {\n    std::fputs("usage\\n", stderr);\n    std::exit(1);\n}\n' \
        >src/probe/main.cpp
    printf '// std::cerr is not used here.\nint twice(int x) {\n    return 2 * x;\n}\n' \
        >src/view/view.cpp
    git add -A && git commit -qm base
}

expect_clean() {
    if ! out=$("$lint" "$work/repo" 2>&1); then
        echo "FAIL $1: the lint failed on a clean checkout"
        echo "$out"
        failures=$((failures + 1))
    fi
}

expect_caught() {  # expect_caught NAME TEXT-IN-OUTPUT
    if out=$("$lint" "$work/repo" 2>&1); then
        echo "FAIL $1: the lint passed"
        failures=$((failures + 1))
    elif ! grep -qF -- "$2" <<<"$out"; then
        echo "FAIL $1: the output does not name $2"
        echo "$out"
        failures=$((failures + 1))
    fi
}

checkout
expect_clean "clean checkout"

for line in 'std::cerr << "x";' 'std::cout << 1;' 'fprintf(stderr, "%d", 1);' \
    'std::fputs("x", stderr);' 'printf("x");'; do
    checkout
    printf 'void f() {\n    %s\n}\n' "$line" >src/view/report.cpp
    expect_caught "report: $line" "src/view/report.cpp:2"
done

for line in 'std::exit(1);' 'exit(2);' 'abort();' 'std::quick_exit(0);'; do
    checkout
    printf 'void f() {\n    %s\n}\n' "$line" >src/view/end.cpp
    expect_caught "end: $line" "src/view/end.cpp:2"
done

for line in 'auto* p = new unsigned char[n];' 'auto* p = new (std::nothrow) uint8_t[n];' \
    'delete[] p;'; do
    checkout
    printf 'void f(int n) {\n    %s\n}\n' "$line" >src/view/pixels.cpp
    expect_caught "pixels: $line" "src/view/pixels.cpp:2"
done

checkout
for i in $(seq 1 601); do echo "// line $i"; done >src/view/long.h
expect_caught "long file" "src/view/long.h: 601 lines"

if command -v clang-format >/dev/null; then
    checkout
    printf 'int  twice( int x ){return 2*x;}\n' >src/view/view.cpp
    expect_caught "unformatted change" "src/view/view.cpp"
    # Committed, it is still the newest commit's change.
    git add -A && git commit -qm ugly
    expect_caught "unformatted commit" "src/view/view.cpp"
fi

[ "$failures" -eq 0 ] && echo "lint: every rule caught"
exit "$failures"
