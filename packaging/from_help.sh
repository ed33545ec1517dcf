#!/bin/sh
# The manual pages and the bash completion are made from the programs' own --help when Korvo is built,
# so a new verb or option is documented and completed without anyone editing a page.
#
#   from_help.sh man PROGRAM SECTION DATE HAND_WRITTEN OUT
#   from_help.sh bash-completion PROGRAM OUT
#
# PROGRAM is run with --help (and, when its help lists subcommands, "PROGRAM VERB --help" for each).
# HAND_WRITTEN is a piece of roff (or "-" for none): what stands before the line
# '.\" options' continues the DESCRIPTION, what follows it ends the page (FILES, SEE ALSO, ...).
# Help texts in the layouts of CLI11 and QCommandLineParser are understood: "Usage: ...", a headline
# such as "Options:" at the start of a line, then items indented by two spaces whose description
# starts after a gap of two or more spaces or on the following, deeper indented lines.
set -eu

usage() {
    echo "usage: from_help.sh man PROGRAM SECTION DATE HAND_WRITTEN OUT" >&2
    echo "       from_help.sh bash-completion PROGRAM OUT" >&2
    exit 2
}

# A help text that an unrunnable or failing program did not print must fail the build, not become an
# empty page.
help_of() {
    text=$("$@" --help) || { echo "from_help.sh: \"$* --help\" failed" >&2; exit 1; }
    [ -n "$text" ] || { echo "from_help.sh: \"$* --help\" printed nothing" >&2; exit 1; }
    printf '%s\n' "$text"
}

verbs_of() {
    printf '%s\n' "$1" | awk '
        /^[^ ].*:$/ { inVerbs = ($0 == "Subcommands:"); next }
        inVerbs && /^  [^ ]/ { print $1 }'
}

# Writes atomically, so an interrupted build never leaves half a page that looks up to date.
finish() {
    mv -f "$1.tmp" "$1"
}

[ $# -ge 1 ] || usage
mode=$1
shift

case $mode in
man)
    [ $# -eq 5 ] || usage
    program=$1 section=$2 date=$3 hand=$4 out=$5
    name=$(basename "$program")
    top=$(help_of "$program")
    version=$("$program" --version | head -n 1)
    verbs=$(verbs_of "$top")
    if [ "$hand" = - ]; then hand=/dev/null; fi
    [ -r "$hand" ] || { echo "from_help.sh: cannot read $hand" >&2; exit 1; }
    {
        printf '%s\n' "$top" | awk -v name="$name" -v section="$section" -v date="$date" \
            -v version="$version" -v hand="$hand" -v part=top -f "$(dirname "$0")/help_to_man.awk"
        for verb in $verbs; do
            text=$(help_of "$program" "$verb")
            printf '%s\n' "$text" | awk -v name="$name" -v verb="$verb" -v part=verb \
                -f "$(dirname "$0")/help_to_man.awk"
        done
        awk 'found { print } /^\.\\" options$/ { found = 1 }' "$hand"
    } > "$out.tmp"
    finish "$out"
    ;;
bash-completion)
    [ $# -eq 2 ] || usage
    program=$1 out=$2
    name=$(basename "$program")
    top=$(help_of "$program")
    verbs=$(verbs_of "$top")
    fn=_$(printf '%s' "$name" | tr -c 'A-Za-z0-9_' '_')
    {
        echo "# bash completion for $name, made from \"$name --help\" when Korvo was built."
        echo "$fn() {"
        echo '    local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD-1]}"'
        echo "    local verbs=\"$(echo $verbs)\""
        echo '    local verb="" i'
        echo '    for ((i = 1; i < COMP_CWORD; i++)); do'
        echo '        case " $verbs " in *" ${COMP_WORDS[i]} "*) verb="${COMP_WORDS[i]}"; break ;; esac'
        echo '    done'
        echo '    local options="" values=""'
        echo '    case "$verb" in'
        printf '%s\n' "$top" | awk -v verb='""' -f "$(dirname "$0")/help_to_completion.awk"
        for verb in $verbs; do
            text=$(help_of "$program" "$verb")
            printf '%s\n' "$text" | awk -v verb="$verb" -f "$(dirname "$0")/help_to_completion.awk"
        done
        echo '    esac'
        echo '    COMPREPLY=()'
        echo '    if [[ -n "$values" ]]; then'
        echo '        COMPREPLY=($(compgen -W "$values" -- "$cur"))'
        echo '    elif [[ "$cur" == -* ]]; then'
        echo '        COMPREPLY=($(compgen -W "$options" -- "$cur"))'
        echo '    elif [[ -z "$verb" && -n "$verbs" ]]; then'
        echo '        COMPREPLY=($(compgen -W "$verbs" -- "$cur"))'
        echo '    fi'
        echo '    # Nothing offered: "-o default" completes file names (spectra, scripts, devices).'
        echo '}'
        echo "complete -o default -F $fn $name"
    } > "$out.tmp"
    finish "$out"
    ;;
*)
    usage
    ;;
esac
