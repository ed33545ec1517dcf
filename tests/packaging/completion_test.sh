#!/bin/bash
# completion_test.sh COMPLETION KORVO_CLI: the generated bash completion offers every verb and every
# option of every verb that korvo-cli's own help lists, the values of an option with a fixed set,
# and leaves file names to bash.
set -u
completion=$1 program=$2
# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: $completion does not load"; exit 1; }
failures=0

# Completes the last of the given words as bash would after a Tab.
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _korvo_cli
    echo " ${COMPREPLY[*]} "
}
expect() {
    local want=$1
    shift
    local got
    got=$(offered "$@")
    [[ $got == *" $want "* ]] || { echo "FAIL: \"$*\" offers [$got], not $want"; failures=$((failures + 1)); }
}
expect_nothing() {
    local got
    got=$(offered "$@")
    [[ $got == "  " ]] || { echo "FAIL: \"$*\" offers [$got] instead of leaving file names to bash"; failures=$((failures + 1)); }
}

verbs=$("$program" --help | awk '/^Subcommands:$/ { s = 1; next } /^[^ ]/ { s = 0 } s && /^  [^ ]/ { print $1 }')
[[ $(wc -w <<<"$verbs") -ge 5 ]] || { echo "FAIL: korvo-cli --help lists too few verbs: $verbs"; exit 1; }
for verb in $verbs; do
    expect "$verb" korvo-cli ""
    expect "$verb" korvo-cli "${verb:0:2}"
    # Every long option in the verb's own help, after the verb and after another option of it.
    options=$("$program" "$verb" --help | grep -oE '^  (-[A-Za-z0-9],)?--[A-Za-z0-9][A-Za-z0-9-]*' |
              grep -oE -- '--[A-Za-z0-9-]+')
    [[ -n $options ]] || { echo "FAIL: no options read from korvo-cli $verb --help"; failures=$((failures + 1)); }
    for option in $options; do
        expect "$option" korvo-cli "$verb" --
        expect "$option" korvo-cli "$verb" --help file.dat "${option:0:4}"
    done
done

expect --version korvo-cli --
# A verb's options are its own: measure's clock is not offered to info.
got=$(offered korvo-cli info --virtual)
[[ $got == "  " ]] || { echo "FAIL: info is offered [$got]"; failures=$((failures + 1)); }
# Values of an option with a fixed set, as the help lists them.
expect clam korvo-cli measure --mode ""
expect cfs korvo-cli measure --mode c
# Spectrum files and devices come from bash's own file-name completion.
expect_nothing korvo-cli info c1
expect_nothing korvo-cli measure --out ""

[[ $failures -eq 0 ]] || { echo "$failures failures"; exit 1; }
echo "completion offers the verbs and options of korvo-cli --help"
