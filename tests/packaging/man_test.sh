#!/bin/bash
# man_test.sh PAGE_DIR KORVO_CLI: the generated manual pages render without a warning from man, and
# korvo-cli's page has a section for every verb with every option its help lists.
set -u
pages=$1 program=$2
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The page as a reader sees it, 200 columns wide so that no option name is broken.
render() {
    LC_ALL=C MANWIDTH=200 man --warnings -l "$1" 2>"$tmp/warnings"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for name in korvo korvo-cli korvo-sim; do
    page=$pages/$name.1.gz
    [[ -s $page ]] || { fail "$page is missing"; continue; }
    text=$(render "$page")
    [[ -s $tmp/warnings ]] && fail "$name.1: $(cat "$tmp/warnings")"
    grep -q "^NAME" <<<"$text" || fail "$name.1 has no NAME section"
    grep -qE "^       $name - [a-zA-Z]" <<<"$text" || fail "$name.1: no \"$name - what it is\" line"
    grep -qE -- "--version" <<<"$text" || fail "$name.1 does not list --version"
done

text=$(render "$pages/korvo.1.gz")
grep -q "setcap cap_sys_rawio+ep /usr/bin/korvo" <<<"$text" || fail "korvo.1 does not say how to grant the ports"
grep -qE -- "--card" <<<"$text" || fail "korvo.1 does not list --card"

text=$(render "$pages/korvo-cli.1.gz")
verbs=$("$program" --help | awk '/^Subcommands:$/ { s = 1; next } /^[^ ]/ { s = 0 } s && /^  [^ ]/ { print $1 }')
[[ -n $verbs ]] || fail "korvo-cli --help lists no verbs"
for verb in $verbs; do
    # The verb's subsection runs from its heading to the next one.
    section=$(awk -v h="   korvo-cli $verb" '$0 == h { on = 1; next } on && /^   [^ ]/ { exit } on' <<<"$text")
    [[ -n $section ]] || { fail "korvo-cli.1 has no section \"korvo-cli $verb\""; continue; }
    for option in $("$program" "$verb" --help | grep -oE '^  (-[A-Za-z0-9],)?--[A-Za-z0-9][A-Za-z0-9-]*' |
                    grep -oE -- '--[A-Za-z0-9-]+'); do
        grep -qE -- "(^|[ ,])$option( |$|,)" <<<"$section" || fail "korvo-cli.1, $verb: $option is missing"
    done
done

[[ $failures -eq 0 ]] || { echo "$failures failures"; exit 1; }
echo "the manual pages render and list every verb and option"
