# Reads a Debian copyright file (the machine-readable format), its stanzas and its licence
# texts. With -v list=1, prints each stanza as "FILES: LICENCE" (its globs on one line, and the
# first line of its licence, as an SPDX expression). Otherwise a second file lists the source
# files that a build compiled, and it prints the stanzas that hold for them (the last stanza
# that matches a file holds, as the format says) with the texts of the licences that they name.
#   awk -f copyright.awk -v list=1 COPYRIGHT
#   awk -f copyright.awk COPYRIGHT COMPILED
# spdx LICENCE: "A or B, and C" as (A OR B) AND C, each name as SPDX has it.
function spdx(license, parts, n, i, words, m, j, part, out) {
    n = split(license, parts, /, and /)
    for (i = 1; i <= n; i++) {
        m = split(parts[i], words, " ")
        part = ""
        for (j = 1; j <= m; j++) part = part (j > 1 ? " " : "") id(words[j])
        out = out (i > 1 ? " AND " : "") (n > 1 && parts[i] ~ / or / ? "(" part ")" : part)
    }
    return out
}
function id(name) {
    if (name in known) return known[name]
    gsub(/[^A-Za-z0-9.-]/, "-", name)
    return "LicenseRef-" name
}
BEGIN {
    count = split("and AND or OR zlib/libpng Zlib BSD-3-clause BSD-3-Clause GPL-3 GPL-3.0-only Expat MIT " \
              "SunPro SunPro Apache-2.0 Apache-2.0", ids, " ")
    for (i = 1; i < count; i += 2) known[ids[i]] = ids[i + 1]
}
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
        for (i = 1; i <= n; i++) { f = globs[i]; gsub(/[ \t]+/, " ", f); sub(/^ /, "", f); print f ": " spdx(name[i]) }
        exit
    }
    for (i = 1; i <= n; i++) if (i in stanza) {
        printf "%s\n", text[i]
        count = split(name[i], names, / and | or |, */)
        for (j = 1; j <= count; j++) wanted[names[j]] = 1
    }
    for (license in wanted) if (license in licence_text) printf "%s\n", licence_text[license]
}
