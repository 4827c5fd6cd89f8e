#!/usr/bin/env bash
# The bash completion of kelvast and kelcard: each partial command line of the table
# gives exactly the words listed (in any order). Usage: completion.sh SOURCE_DIR
set -o pipefail
source_dir=$1
[ -r /usr/share/bash-completion/bash_completion ] && source /usr/share/bash-completion/bash_completion
source "$source_dir/contrib/completion/kelvast" || exit 1
source "$source_dir/contrib/completion/kelcard" || exit 1
# The word breaks as bash-completion leaves them: "@" is none, so a card list's word
# "@FILE" is completed whole.
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'

work=$(mktemp -d "${TMPDIR:-/tmp}/completion.$$.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch settings.txt sdk.dat cards.txt image.ima moves.txt pw

# A command line (its last word the one completed), then the words expected.
rows=(
    "kelvast |-nw -cd -help"
    "kelvast --json --ti|--timeout"
    "kelvast --timeout 5 --password-file p|pw"
    "kelvast -nw @c|@cards.txt"
    "kelvast --fanout 4 -nw 10.0.0.1-40 admin -Host|-HostCtrl"
    "kelvast -cd -gen -|-Reset -fwInfo -GetName -GetSmtpCfg -SetSmtpCfg -GetTime -SetTime -SetName"
    "kelvast -cd -Gen -Reset -|-SaveConfig -NoConfig"
    "kelvast -cd -gen -SetTime 120812002026.00 |Force"
    "kelvast -cd -sel -setPolicy |ROLLOVER STOP"
    "kelvast -cd -HostCtrl Power|PowerUp PowerDown PowerCycle"
    "kelvast -nw 10.0.0.5 admin -script se|settings.txt"
    "kelvast -cd -cardMode -update -boot i|image.ima"
    "kelcard |serve run mkimage --help"
    "kelcard run --add|"
    "kelcard run --frozen-clock --mouse-script m|moves.txt"
    "kelcard mkimage --omit F|FPGA"
)

failed=0
for row in "${rows[@]}"; do
    line=${row%%|*}
    expected=${row#*|}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    "_${COMP_WORDS[0]}" 2>/dev/null
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    want=$(printf '%s\n' $expected | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "'$line': got '$got', expected '$want'"
        failed=1
    fi
done
exit $failed
