# One help text as roff: part=top makes the page's head (title, NAME, SYNOPSIS, DESCRIPTION with the
# hand-written text before its '.\" options' line) and one section per headline of the help;
# part=verb makes the subsection of one verb. Used by from_help.sh.

# Text from a help becomes roff text: backslashes and minus signs as roff wants them, and a line
# that starts with a dot or an apostrophe is not taken for a request.
function roff(s) {
    gsub(/\\/, "\\\\e", s)
    gsub(/-/, "\\\\-", s)
    if (s ~ /^[.']/) s = "\\&" s
    return s
}

function trim(s) {
    sub(/^ +/, "", s)
    sub(/ +$/, "", s)
    return s
}

# "Usage: ./build/korvo-cli measure [OPTIONS]" -> "korvo-cli measure [OPTIONS]": the build
# directory of the program is no part of its page.
function synopsis(s,    words, n, i, out) {
    n = split(trim(substr(s, 7)), words, / +/)
    sub(/.*\//, "", words[1])
    out = "\\fB" roff(words[1]) "\\fR"
    for (i = 2; i <= n; ++i) out = out " " roff(words[i])
    return out
}

function heading(h,    title) {
    sub(/:$/, "", h)
    if (part == "verb") {
        print ".PP"
        print "\\fI" roff(h) ":\\fR"
        return
    }
    title = toupper(h)
    if (title == "SUBCOMMANDS") title = "COMMANDS"
    if (title == "POSITIONALS") title = "ARGUMENTS"
    print ".SH " title
}

function head(    line) {
    if (headDone) return
    headDone = 1
    if (part == "verb") {
        print ".SS \"" roff(name " " verb) "\""
        if (description != "") print roff(description)
        for (i = 1; i <= extraCount; ++i) print roff(extra[i])
        if (usage != "") {
            print ".PP"
            print synopsis(usage)
        }
        return
    }
    upper = toupper(name)
    print ".\\\" Made from \"" name " --help\" when Korvo was built; edit the program's help, not this page."
    print ".TH \"" roff(upper) "\" \"" section "\" \"" date "\" \"" roff(version) "\" \"User Commands\""
    # Option names and file names read better unbroken.
    print ".nh"
    print ".SH NAME"
    # The helps start with "name: what it is" ("Korvo: ..."); the name stands before the dash already.
    d = description
    if (tolower(substr(d, 1, length(name) + 2)) == tolower(name) ": ") d = substr(d, length(name) + 3)
    print roff(name) " \\- " roff(d)
    print ".SH SYNOPSIS"
    print synopsis(usage)
    print ".SH DESCRIPTION"
    print roff(description)
    for (i = 1; i <= extraCount; ++i) print roff(extra[i])
    while ((getline line < hand) > 0) {
        if (line == ".\\\" options") break
        print line
    }
    close(hand)
}

# Where the descriptions start: the column that most items with a gap agree on. CLI11 glues a
# description to a name that fills its column ("--ramp TEXT Excludes: --end Ramp (eV)"); there the
# description is split off at that column.
function descriptionColumn(    i, rest, votes, best, column) {
    best = 0
    for (i = 1; i <= count; ++i) {
        if (lines[i] !~ /^  [^ ]/) continue
        rest = substr(lines[i], 3)
        if (match(rest, /  +/)) {
            column = RSTART + RLENGTH + 2
            if (++votes[column] > votes[best]) best = column
        }
    }
    return best
}

# An item: "  -t,--time INT   description" or "  --a-long-name INT" with the description below.
function item(s,    rest, desc) {
    rest = substr(s, 3)
    desc = ""
    if (match(rest, /  +/)) {
        desc = trim(substr(rest, RSTART + RLENGTH))
        rest = substr(rest, 1, RSTART - 1)
    } else if (column > 3 && length(s) >= column && substr(s, column - 1, 1) == " ") {
        desc = trim(substr(s, column))
        rest = trim(substr(s, 3, column - 3))
    }
    print ".TP"
    print "\\fB" roff(rest) "\\fR"
    if (desc != "") print roff(desc)
}

{
    lines[++count] = $0
}

END {
    headDone = 0
    extraCount = 0
    column = descriptionColumn()
    for (n = 1; n <= count; ++n) {
        s = lines[n]
        if (s ~ /^Usage:/ && !headDone) {
            usage = s
        } else if (s ~ /^[A-Za-z][A-Za-z ]*:$/) {
            # A headline: "Options:", "Subcommands:", "Positionals:".
            head()
            heading(s)
        } else if (s ~ /^  [^ ]/ && headDone) {
            item(s)
        } else if (s ~ /^   +[^ ]/ && headDone) {
            # The description of an item, continued.
            print roff(trim(s))
        } else if (s ~ /^ *$/) {
            continue
        } else if (!headDone) {
            # The program's description before the first headline.
            if (description == "") description = trim(s)
            else extra[++extraCount] = trim(s)
        } else {
            # A footer after the items.
            print ".PP"
            print roff(trim(s))
        }
    }
    head()
}
