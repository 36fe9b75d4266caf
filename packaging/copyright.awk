# Reads a Debian copyright file (the machine-readable format), its stanzas and its licence
# texts. With -v list=1, prints each stanza as "FILES|LICENCE" (its globs on one line, and the
# first line of its licence). Otherwise a second file lists the source files that a build
# compiled, and it prints the stanzas that hold for them (the last stanza that matches a file
# holds, as the format says) with the texts of the licences that they name.
#   awk -f copyright.awk -v list=1 COPYRIGHT
#   awk -f copyright.awk COPYRIGHT COMPILED
function flush() {
    if (files != "") { n++; globs[n] = files; text[n] = paragraph; name[n] = license }
    else if (license != "") licence_text[license] = paragraph
    files = license = paragraph = field = ""
}
FNR == 1 && NR > 1 { flush(); compiled = 1 }
!compiled {
    if (/^$/) { flush(); next }
    paragraph = paragraph $0 "\n"
    if (/^[A-Za-z-]+:/) { field = $1; sub(/^[A-Za-z-]+:[ \t]*/, "") }
    else if (field != "Files:") next
    if (field == "Files:") files = files " " $0
    if (field == "License:" && license == "") license = $0
    next
}
{
    used = 0
    for (i = 1; i <= n; i++) {
        split(globs[i], g, /[ \t]+/)
        for (j in g) {
            if (g[j] == "") continue
            pattern = g[j]; gsub(/[.+^$()|{}]/, "\\\\&", pattern)
            gsub(/[*]/, ".*", pattern); gsub(/[?]/, ".", pattern)
            if ($0 ~ "^" pattern "$") used = i
        }
    }
    if (used) stanza[used] = 1
}
END {
    flush()
    if (list) {
        for (i = 1; i <= n; i++) { f = globs[i]; gsub(/[ \t]+/, " ", f); sub(/^ /, "", f); print f "|" name[i] }
        exit
    }
    for (i = 1; i <= n; i++) if (i in stanza) {
        printf "%s\n", text[i]
        count = split(name[i], names, / and | or |, */)
        for (j = 1; j <= count; j++) wanted[names[j]] = 1
    }
    for (license in wanted) if (license in licence_text) printf "%s\n", licence_text[license]
}
