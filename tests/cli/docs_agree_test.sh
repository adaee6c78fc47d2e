#!/bin/bash
# The manual pages and the bash completion against the programs: every option a program accepts
# is named by its manual page (in the subcommand's own entry) and offered by the completion, and
# neither names one the program refuses. Also how the completion treats DEVICE on a bench.
# Usage: docs_agree_test.sh VTUTIL VTUTILITY SOURCE_DIR
vtutil=$1
vtutility=$2
source_dir=$3
fail=0
global="--bench --demo --json"

# Option names at the start of an indented help line: "  --json  ...", "  -h,--help  ...".
help_options() { sed -n 's/^ \{1,\}\(-[A-Za-z], \{0,1\}\)\{0,1\}\(--[a-z][-a-z]*\).*/\2/p' | sort -u; }
words() { tr ' \t' '\n\n' | sed '/^$/d' | sort -u; }
without() {
    local patterns=() word
    for word; do patterns+=(-e "$word"); done
    grep -v -x -F "${patterns[@]}" || true
}
# The entry of a subcommand (or the section of a heading) in a man page source, as plain text.
man_entry() {
    sed 's/\\-/-/g' "$1" | awk -v name="$2" '
        /^\.SH/ { section = ($0 == ".SH " name); inside = 0; next }
        /^\.TP/ { inside = 0; start = 1; next }
        start && /^\.B/ { word = $2; gsub(/"/, "", word); if (word == name) inside = 1 }
        { start = 0 }
        inside || section { print }'
}
man_options() { grep -o -e '--[a-z][-a-z]*' | sort -u; }
compare() {  # what, expected (the program's), found
    if [[ "$2" != "$3" ]]; then
        echo "FAIL $1"
        diff <(echo "$2") <(echo "$3") | sed -n 's/^</  accepted, not named:/p; s/^>/  named, not accepted:/p'
        fail=1
    fi
}

# shellcheck source=/dev/null
source "$source_dir/packaging/vtutil.bash-completion"
man_vtutil="$source_dir/docs/man/vtutil.1"
man_vtutility="$source_dir/docs/man/vtutility.1"

subcommands=$("$vtutil" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][-a-z]*\) .*/\1/p' | sort)
compare "vtutil subcommands in the completion" "$subcommands" "$(echo "$_vtutil_subcommands" | words)"

top=$("$vtutil" --help | help_options)
# What the completion offers for the words given, the last being the one completed.
complete_words() {
    local function=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$function"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort -u
}
compare "vtutil global options in the completion" "$top" "$(complete_words _vtutil vtutil --)"
compare "vtutil global options in the manual" "$(echo "$top" | without --help)" \
    "$(man_entry "$man_vtutil" "GLOBAL OPTIONS" | man_options | without --help)"

for sub in $subcommands; do
    accepted=$("$vtutil" "$sub" --help | help_options | without --help --json $global)
    if [[ -z $(man_entry "$man_vtutil" "$sub") ]]; then
        echo "FAIL vtutil.1 has no entry for $sub"
        fail=1
    fi
    compare "vtutil $sub: its manual entry" "$accepted" \
        "$(man_entry "$man_vtutil" "$sub" | man_options | without --help --json $global)"
    compare "vtutil $sub: the completion" "$accepted" \
        "$(_vtutil_known_options "$sub" | words | without --help --json $global)"
    # Every subcommand takes --json and --help; window always prints JSON, and metrics prints the
    # Prometheus exposition format its collectors read.
    for option in --json --help; do
        if ! "$vtutil" "$sub" --help | help_options | grep -q -x -e "$option" &&
            [[ $sub != window && ( $sub != metrics || $option != --json ) ]]; then
            echo "FAIL vtutil $sub --help does not list $option"
            fail=1
        fi
    done
done

accepted=$("$vtutility" --help | help_options)
compare "vtutility: its manual" "$accepted" "$(man_entry "$man_vtutility" OPTIONS | man_options)"
compare "vtutility: the completion" "$accepted" "$(complete_words _vtutility vtutility --)"

# DEVICE: on a bench the bench's Disk numbers, never the system's nodes.
complete_device() { complete_words _vtutil "$vtutil" "$@" ""; }
bench_dir=$(mktemp -d)
trap 'rm -rf "$bench_dir"' EXIT
echo '{"drives": [{"bus": "ide", "model": "K38"}]}' >"$bench_dir/one.json"
for line in "--demo info" "info --demo" "--bench $bench_dir/one.json smart" "smart --bench $bench_dir/one.json"; do
    # shellcheck disable=SC2086
    offered=$(complete_device $line)
    if grep -q '^/dev/' <<<"$offered"; then
        echo "FAIL vtutil $line: the completion offers the system's disks: $offered"
        fail=1
    fi
    if ! grep -q -x 1 <<<"$offered"; then
        echo "FAIL vtutil $line: the completion does not offer the bench's disk 1: $offered"
        fail=1
    fi
done

[[ $fail -eq 0 ]] && echo "manual pages, help and completion agree"
exit $fail
