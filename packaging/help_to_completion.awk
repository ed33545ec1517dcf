# One help text as one branch of the completion function's "case $verb": the options of the verb
# (verb="" for the program itself) and, for an option with a fixed set of values
# ("--mode TEXT:{clam,cfs,cis}"), those values after it. Used by from_help.sh.

# Only values that need no quoting on a command line are offered; "c(t)" has to be typed.
function plain(v) {
    return v ~ /^[A-Za-z0-9._:+\/=-]+$/
}

/^[A-Za-z][A-Za-z ]*:$/ {
    inOptions = ($0 != "Subcommands:" && $0 != "Positionals:")
    next
}

inOptions && /^  -/ {
    rest = substr($0, 3)
    if (match(rest, /  +/)) rest = substr(rest, 1, RSTART - 1)
    choices = ""
    if (match(rest, /:\{[^}]*\}/)) {
        n = split(substr(rest, RSTART + 2, RLENGTH - 3), values, ",")
        for (i = 1; i <= n; ++i)
            if (plain(values[i])) choices = choices (choices == "" ? "" : " ") values[i]
    }
    # "-t,--time INT", "-h, --help", "--card <kind>": the names are the words with a dash before the
    # first that has none (what follows may be a type, "Excludes: --end" or, where CLI11 leaves no
    # gap, the description).
    n = split(rest, words, /[, ]+/)
    names = ""
    for (i = 1; i <= n && words[i] ~ /^-/; ++i) {
        options = options (options == "" ? "" : " ") words[i]
        names = names (names == "" ? "" : "|") words[i]
    }
    if (choices != "" && names != "") cases[++caseCount] = "        " names ") values=\"" choices "\" ;;"
}

END {
    print "    " verb ")"
    print "        options=\"" options "\""
    if (caseCount > 0) {
        print "        case \"$prev\" in"
        for (i = 1; i <= caseCount; ++i) print cases[i]
        print "        esac"
    }
    print "        ;;"
}
