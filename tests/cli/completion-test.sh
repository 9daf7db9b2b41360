#!/usr/bin/env bash
# The bash completion of jexrecover: what each kind of word completes to.
# Usage: completion-test.sh COMPLETION-FILE JEXRECOVER
set -uo pipefail
source "$1"
jexrecover=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir out
touch card.img notes.txt
failed=0

# complete LINE: the completions of the line's last word, one per line,
# sorted.
complete_line() {
    read -r -a COMP_WORDS <<< "$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _jexrecover
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local line=$1 want=$2 got
    got=$(complete_line "$line" | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$want" ]]; then
        echo "\"$line\": got \"$got\", want \"$want\""
        failed=1
    fi
}
# contains LINE WORD: WORD is among the completions.
contains() {
    if ! complete_line "$1" | grep -qx -- "$2"; then
        echo "\"$1\": \"$2\" is not offered"
        failed=1
    fi
}

expect "jexrecover " "restore scan volumes"
expect "jexrecover s" "scan"
expect "jexrecover --v" "--version"
expect "jexrecover scan card.img --cat" "--category"
expect "jexrecover scan card.img --category " "audio documents images video"
expect "jexrecover scan card.img --category im" "images"
expect "jexrecover scan card.img --sort " "name path size"
expect "jexrecover restore card.img --to " "out"
expect "jexrecover restore card.img --fl" "--flat"
expect "jexrecover restore card.img --a" "--all"
expect "jexrecover scan --deep --map " "card.img notes.txt out"
expect "jexrecover scan ca" "card.img"
expect "jexrecover volumes c" "card.img"
expect "jexrecover volumes card.img --j" "--json"
expect "jexrecover scan card.img --min-size " ""
# After the volume only options.
contains "jexrecover scan card.img " "--sort"
contains "jexrecover scan --deep card.img " "--streams"
# Every option jexrecover --help names is offered somewhere.
offered=$( (complete_line "jexrecover -"; complete_line "jexrecover volumes x -"; complete_line "jexrecover scan x -";
            complete_line "jexrecover restore x -") | sort -u)
named=$("$jexrecover" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
if [[ -z $named ]]; then
    echo "$jexrecover --help names no option"
    failed=1
fi
for option in $named; do
    if ! grep -qx -- "$option" <<< "$offered"; then
        echo "$option of --help is never offered"
        failed=1
    fi
done
# Device nodes, for a volume.
if [[ -b /dev/loop0 || -n $(_jexrecover_devices) ]]; then
    node=$(_jexrecover_devices | head -n 1)
    contains "jexrecover scan /dev/" "$node"
fi
exit $failed
