#!/usr/bin/env bash
# The program's areas call downwards only: the shell (main, start-up, menu,
# modes, configuration) is the top; files, instrument and remote sit below it;
# the state table and the numeric layer are at the bottom.  Prints every
# include that points the wrong way and fails when there is one.
set -u
app="$1/app"
bad=0
check() {  # area, then the folders it must not include
    local area="$1"; shift
    local dir
    for dir in "$@"; do
        if grep -rn "#include \"$dir/" "$app/$area" --include='*.cpp' --include='*.h' --include='*.inc'; then
            bad=1
        fi
    done
}
check files shell
check instrument shell
check remote shell
check state shell files instrument remote numeric
check numeric shell files instrument remote
exit $bad
