# Turns a program's --help text into manual-page markup (man(7)), so that the
# page says exactly what the program prints. Written for POSIX awk (mawk).
#
# The text is read as:
#   - unindented lines: paragraphs, ended by a blank line; a lone "word:" line is
#     a heading, and "word: rest" opening a paragraph is a heading with its term
#     ("usage: framolo-cli avi2gif INPUT OUTPUT.gif [options]");
#   - indented lines: list items, "TERM  description" with two or more spaces
#     between; a line indented deeper than its item continues the description.
#
# part=name prints the NAME line ("program \- first sentence"), part=synopsis
# the terms of the first list, anything else the whole text as a page body.

# Backslashes are roff escapes; a word that starts like an option keeps real
# minus signs, so that the option copied from the page works.
function escape(text,    n, words, i, w, out) {
    gsub(/\\/, "\\e", text)
    n = split(text, words, " ")
    out = ""
    for (i = 1; i <= n; i++) {
        w = words[i]
        if (w ~ /^[("'\[]*-/)
            gsub(/-/, "\\-", w)
        out = out (i > 1 ? " " : "") w
    }
    if (out ~ /^[.']/)
        out = "\\&" out
    return out
}

# Options bold, placeholders (INPUT, N, OUTPUT.gif) and bracketed words
# italic, other words (the program, its commands) bold.
function style(term,    n, words, i, w, lead, tail, core, out) {
    n = split(term, words, " ")
    out = ""
    for (i = 1; i <= n; i++) {
        w = words[i]
        lead = w; sub(/[^[(].*$/, "", lead)
        tail = w; sub(/^.*[^]),|]/, "", tail)
        core = substr(w, length(lead) + 1, length(w) - length(lead) - length(tail))
        if (core == "") {
            out = out (i > 1 ? " " : "") w
            continue
        }
        gsub(/\\/, "\\e", core)
        if (core ~ /^-/) {
            gsub(/-/, "\\-", core)
            core = "\\fB" core "\\fR"
        } else if (core ~ /^[A-Z][A-Z0-9_]*(\.[a-z0-9]+)?$/ || lead != "") {
            core = "\\fI" core "\\fR"
        } else {
            gsub(/-/, "\\-", core)
            core = "\\fB" core "\\fR"
        }
        out = out (i > 1 ? " " : "") lead core tail
    }
    return out
}

function indentOf(line) {
    match(line, /^ */)
    return RLENGTH
}

function trim(s) {
    sub(/^ +/, "", s)
    sub(/ +$/, "", s)
    return s
}

# Splits an item line at its first gap of two spaces or more. A term as long
# as the list's term column leaves a single space before its description, so
# without a gap a space next to the column where the previous description
# started splits the line.
function splitItem(line,    at, p) {
    sub(/ +$/, "", line)
    at = match(line, /[^ ]  +/)
    if (at > 0) {
        itemTerm = trim(substr(line, 1, at))
        itemText = trim(substr(line, at + RLENGTH))
        descColumn = at + RLENGTH
        return
    }
    itemTerm = trim(line)
    itemText = ""
    for (p = descColumn - 1; descColumn > 0 && p <= descColumn + 2; p++) {
        if (substr(line, p, 1) == " " && substr(line, p - 1, 1) != " " &&
            substr(line, p + 1, 1) != " " && p < length(line)) {
            itemTerm = trim(substr(line, 1, p - 1))
            itemText = trim(substr(line, p + 1))
            return
        }
    }
}

function heading(word) {
    return toupper(substr(word, 1, 1)) substr(word, 2)
}

BEGIN {
    inBlock = 0     # inside a paragraph or a list
    itemIndent = -1 # indentation of the current list's items; -1 outside a list
    firstParagraph = ""
    listsSeen = 0
}

{
    sub(/[ \t\r]+$/, "")
}

/^$/ {
    inBlock = 0
    itemIndent = -1
    next
}

part == "name" {
    if (firstParagraph != "" && !inBlock)
        exit
    firstParagraph = firstParagraph " " $0
    inBlock = 1
    if (firstParagraph ~ /\. |\.$/)
        exit
    next
}

part == "synopsis" {
    if (indentOf($0) == 0) {
        if (listsSeen > 0)
            exit
        next
    }
    if (itemIndent < 0 || indentOf($0) <= itemIndent) {
        if (itemIndent < 0) {
            listsSeen++
            descColumn = 0
        }
        itemIndent = indentOf($0)
        splitItem($0)
        if (printed++)
            print ".br"
        print style(itemTerm)
    }
    next
}

indentOf($0) == 0 {
    itemIndent = -1
    if ($0 ~ /^[A-Za-z][A-Za-z ]*:$/) {
        print ".PP"
        print "\\fB" escape(heading($0)) "\\fR"
        inBlock = 1
        next
    }
    if (!inBlock && $0 ~ /^[a-z]+: [^ ]/) {
        print ".PP"
        at = index($0, ":")
        print "\\fB" heading(substr($0, 1, at)) "\\fR " style(substr($0, at + 2))
        inBlock = 1
        next
    }
    if (!inBlock)
        print ".PP"
    print escape($0)
    inBlock = 1
    next
}

{
    if (itemIndent >= 0 && indentOf($0) > itemIndent) {
        print escape(trim($0))
        next
    }
    if (itemIndent < 0)
        descColumn = 0
    itemIndent = indentOf($0)
    splitItem($0)
    print ".TP"
    print style(itemTerm)
    if (itemText != "")
        print escape(itemText)
    inBlock = 1
}

END {
    if (part == "name") {
        text = trim(firstParagraph)
        sub(/\. .*$/, "", text)
        sub(/\.$/, "", text)
        if (index(text, program " ") == 1)
            text = substr(text, length(program) + 2)
        gsub(/-/, "\\-", program)
        print program " \\- " escape(text)
    }
}
