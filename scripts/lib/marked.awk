# The bodies of the functions marked "# safe in conditions", which run without set -e when called
# after ||, && or !, or in an if: each step must hand on its failure. A step (a line, with the
# lines that its quotes, or a trailing backslash, |, || or &&, carry on) passes when it:
#   hands its failure on: || return, || die, || exit (with their words), || continue; or keeps
#     it (|| status=$?), puts a value in its place (|| NAME=VALUE), or ignores it in so many
#     words (|| true);
#   cannot fail as used: return, exit, die, say, shift, sleep, unset, a message on standard
#     error, a job started with &, a read of a string, assignments that run nothing (after a
#     test or not), a loop that sleeps until a condition holds;
#   opens or closes a compound (if ...; then, else, fi, for ...; do, done, case ... in, esac, a
#     case's pattern, ;;), whose steps are held the same way;
#   is the body's last step, outside a loop: its status is the function's.
# Approximate where it must be: a branch's last step passes only when no step follows it in the
# body (else, or after the fi), and an arm's last step (before ;;) passes as the case's.
# Prints FILE:LINE: FUNCTION: STEP for each other step.
#   awk -f scripts/lib/marked.awk FILE...
function code(text,    i, c, out, word) {
    # The text outside quotes, comments cut; quoting state carries on to the next line.
    out = ""
    for (i = 1; i <= length(text); i++) {
        c = substr(text, i, 1)
        if (single) { if (c == "'") single = 0; continue }
        if (c == "\\") { if (i == length(text)) out = out c; i++; continue }
        if (double) { if (c == "\"") double = 0; continue }
        if (c == "'") { single = 1; continue }
        if (c == "\"") { double = 1; continue }
        if (c == "#" && (i == 1 || substr(text, i - 1, 1) ~ /[ \t]/)) break
        out = out c
    }
    return out
}
function assignments(s,    rest) {
    # Assignments alone (local, export, declare too), none of them running a command.
    rest = s
    if (rest ~ /\$\([^(]|`/) return 0
    gsub(/\$\{[^}]*\}/, "x", rest)
    while (gsub(/\([^()]*\)/, "", rest)) {}
    if (sub(/^(local|export|declare)( +-[a-zA-Z]+)?( |$)/, "", rest))
        while (gsub(/(^| )[A-Za-z_][A-Za-z0-9_]*( |$)/, " ", rest)) {}
    return rest !~ /(^| )[^ =]+( |$)/
}
function judge(    s, ok) {
    s = step
    sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s)
    if (s !~ /;;$/) sub(/;$/, "", s)
    gsub(/[ \t]+/, " ", s)
    if (s == "") return
    # Compounds: their headers and ends; a case's patterns, and ;; after an arm's last step.
    if (s ~ /(^|[ ;])do$/) { loops++; return }
    if (s ~ /^done( |$)/) {
        # A loop's last step hands on the last round's status alone.
        if (pending != "" && pending_loops >= loops) report()
        loops--; return
    }
    if (s ~ /(^|[ ;])(then|in)$/ || s ~ /^(else|fi|esac|;;)$/) return
    if (s ~ /^[^()]*\)$/ || s ~ /;;$/) return
    # Handled: its failure returned, or its status kept, or a value put in its place, or ignored
    # in so many words.
    ok = s ~ /\|\| *\{? *(return|die|exit|continue|break)([ ;}]|$)/ || s ~ /\|\| *true$/ ||
        s ~ /\|\| *\{[^}]*(;|&&) *(return|exit)[ 0-9]*; *\}$/ ||
        s ~ /\|\| *[A-Za-z_][A-Za-z0-9_]*=[^ ]*$/ || s ~ /&& (continue|break|return)$/
    # Cannot fail as used: an exit, a message, a shift, a sleep, an unset, a wait for a condition,
    # a job started, a read of a string, assignments that run nothing (after a test or not).
    ok = ok || s ~ /^(return|exit|die|say|shift|sleep|unset)( |$)/ || s ~ />&2$/ ||
        s ~ /^(until|while) .*; do sleep [0-9.]+; done$/ || s ~ /[^&]&$/ ||
        (s ~ /^(IFS=[^ ]* )?read .*<<</ && s !~ /\$\([^(]/) || assignments(s) ||
        (s ~ /^(\[\[ .* \]\]|\(\(.*\)\)) (&&|\|\|) / &&
            assignments(substr(s, match(s, /(\]\]|\)\)) (&&|\|\|) /) + RLENGTH)))
    # A step held back passes only as the last: this one follows it.
    if (pending != "") report()
    if (!ok) { pending = s; pending_line = start; pending_loops = loops }
}
function report() {
    printf "%s:%d: %s: %s\n", FILENAME, pending_line, name, pending
    pending = ""
}
FNR == 1 { inside = 0 }
/^ *[A-Za-z_][A-Za-z0-9_]*\(\) \{ # safe in conditions$/ {
    name = $1; sub(/\(\)$/, "", name)
    indent = match($0, /[^ ]/) - 1
    inside = 1; step = ""; pending = ""; single = double = loops = 0
    next
}
inside {
    closing = sprintf("%*s}", indent, "")
    if (!single && !double && step == "" && substr($0, 1, indent + 1) == closing) {
        if (pending != "" && loops) report()
        inside = 0; next
    }
    if (step == "") start = FNR
    step = step " " code($0)
    if (single || double || step ~ /(\\|\||&&)$/) { sub(/\\$/, "", step); next }
    judge()
    step = ""
}
