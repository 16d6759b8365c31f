#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the relative links of the documentation: every [text](target) in
# README.md and docs/*.md outside fenced code blocks and code spans, except
# http:, https: and mailto: links.
#
#   check-links.sh REPOSITORY-ROOT
#
# A link's file must exist, relative to the file that holds the link. A link
# with an #anchor must name a heading of that file (of the same file for an
# #anchor alone), by GitHub's rule: the heading's text in lower case, without
# the characters other than letters, digits, spaces, hyphens and
# underscores, its spaces turned into hyphens; a heading text met again gets
# -1, -2, ... appended. Each broken link is printed as
# FILE:LINE: broken link TARGET, then "N links checked, M broken". Exit
# status 1 when a link is broken, 2 on a usage error.
set -uo pipefail
export LC_ALL=C.UTF-8

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: check-links.sh REPOSITORY-ROOT" >&2
    exit 2
fi
root=${1%/}

# The opening fence of a fenced code block: up to three spaces, then three
# or more backticks or tildes.
fence_re='^ {0,3}(`{3,}|~{3,})'

# Sets `fence` to the fence that a line opens or closes, or to nothing.
fence_of() {
    fence=
    if [[ $1 =~ $fence_re ]]; then
        fence=${BASH_REMATCH[1]}
    fi
}

# True when a line closes the fenced code block `open` began: a fence of
# the same character, at least as long, with nothing after it.
closes() {
    fence_of "$1"
    [ -n "$fence" ] && [ "${fence:0:1}" = "${open:0:1}" ] && [ ${#fence} -ge ${#open} ] &&
        [[ $1 =~ ^\ {0,3}[\`~]+[[:space:]]*$ ]]
}

# Sets `anchor` to the anchor GitHub gives a heading's text.
slug() {
    local text=$1 link_re='\[([^]]*)\]\([^)]*\)'
    # A link in a heading counts with its text only.
    while [[ $text =~ $link_re ]]; do
        text=${text/"${BASH_REMATCH[0]}"/"${BASH_REMATCH[1]}"}
    done
    text=${text,,}
    text=${text//[^[:alnum:] _-]/}
    anchor=${text// /-}
}

# Prints the anchors of a Markdown file's headings, one a line.
anchors() {
    local line previous='' open='' count text anchor
    local atx_re='^ {0,3}#{1,6}([ 	]+(.*))?$' setext_re='^ {0,3}(=+|-+)[ 	]*$'
    local plain_re='^ {0,3}([-*+>|#]|[0-9]+[.)])' blank_re='^[[:space:]]*$'
    local trim_re='^[ 	]*(.*[^ 	])[ 	]*$' stem
    declare -A seen=()
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        fence_of "$line"
        if [ -n "$open" ]; then
            closes "$line" && open=''
            previous=''
            continue
        fi
        if [ -n "$fence" ]; then
            open=$fence previous=''
            continue
        fi
        if [[ $line =~ $atx_re ]]; then
            text=${BASH_REMATCH[2]}
            # An optional closing sequence of #s, after a blank or alone.
            [[ $text =~ $trim_re ]] && text=${BASH_REMATCH[1]}
            stem=$text
            while [[ $stem == *'#' ]]; do
                stem=${stem%'#'}
            done
            if [ "$stem" != "$text" ] && { [ -z "$stem" ] || [[ $stem =~ [[:blank:]]$ ]]; }; then
                text=$stem
            fi
            previous=''
        elif [ -n "$previous" ] && [[ $line =~ $setext_re ]]; then
            text=$previous
            previous=''
        else
            previous=''
            if ! [[ $line =~ $blank_re ]] && ! [[ $line =~ $plain_re ]]; then
                [[ $line =~ $trim_re ]] && previous=${BASH_REMATCH[1]}
            fi
            continue
        fi
        [[ $text =~ $trim_re ]] && text=${BASH_REMATCH[1]}
        slug "$text"
        count=${seen["=$anchor"]:-0}
        seen["=$anchor"]=$((count + 1))
        if [ "$count" -eq 0 ]; then
            printf '%s\n' "$anchor"
        else
            printf '%s\n' "$anchor-$count"
        fi
    done <"$1"
}

declare -A anchor_cache=()

# True when `file` has a heading whose anchor is `anchor`.
has_anchor() {
    local file=$1 anchor=$2
    if [ -z "${anchor_cache[$file]+set}" ]; then
        anchor_cache[$file]=$'\n'$(anchors "$file")$'\n'
    fi
    [[ ${anchor_cache[$file]} == *$'\n'"$anchor"$'\n'* ]]
}

checked=0
broken=0
files=("$root/README.md")
for doc in "$root"/docs/*.md; do
    [ -f "$doc" ] && files+=("$doc")
done

link_re='\[[^]]*\]\(([^)]*)\)'
# Code spans of one backtick and of two.
# shellcheck disable=SC2016 # backticks, not expansions
code_res=('``([^`]|`[^`])*``' '`[^`]*`')
for file in "${files[@]}"; do
    [ -f "$file" ] || continue
    name=${file#"$root"/}
    dir=$(dirname "$file")
    number=0
    open=''
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        line=${line%$'\r'}
        fence_of "$line"
        if [ -n "$open" ]; then
            closes "$line" && open=''
            continue
        fi
        if [ -n "$fence" ]; then
            open=$fence
            continue
        fi
        # Code spans hold no links; their text is set aside, brackets and all.
        for code_re in "${code_res[@]}"; do
            while [[ $line =~ $code_re ]]; do
                line=${line/"${BASH_REMATCH[0]}"/code}
            done
        done
        while [[ $line =~ $link_re ]]; do
            target=${BASH_REMATCH[1]}
            line=${line/"${BASH_REMATCH[0]}"/}
            # A title after the target, and angle brackets around it, are not
            # part of it.
            target=${target%% *}
            target=${target#<}
            target=${target%>}
            case $target in
            http:* | https:* | mailto:*) continue ;;
            esac
            checked=$((checked + 1))
            path=${target%%#*}
            anchor=
            [[ $target == *#* ]] && anchor=${target#*#}
            if [ -z "$path" ]; then
                goal=$file
            else
                goal=$dir/${path//%20/ }
            fi
            ok=1
            if [ ! -e "$goal" ]; then
                ok=0
            elif [ -n "$anchor" ]; then
                if [ ! -f "$goal" ] || ! has_anchor "$goal" "$anchor"; then
                    ok=0
                fi
            fi
            if [ "$ok" -eq 0 ]; then
                broken=$((broken + 1))
                echo "$name:$number: broken link $target"
            fi
        done
    done <"$file"
done

echo "$checked links checked, $broken broken"
[ "$broken" -eq 0 ]
