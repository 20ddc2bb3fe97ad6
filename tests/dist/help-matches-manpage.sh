#!/bin/sh
# The options that perlo-sim --help lists are the options its manual page
# documents, both ways.
#   help-matches-manpage.sh PERLO_SIM MANPAGE_SOURCE
set -eu
options() { tr ' ,"' '\n' | grep -e '^-' | sort -u; }

# Help: the first column, "  -h, --help  ..." or "  --link <path>  ...".
in_help=$("$1" --help | sed -n 's/^  \(-[^ ,]*\(, -[^ ,]*\)*\).*/\1/p' | options)
# Manual page: the tag line under each .TP.
in_man=$(sed -n '/^\.TP/{n;p;}' "$2" | sed 's/\\-/-/g' | options)

[ "$in_help" = "$in_man" ] && exit 0
echo "perlo-sim --help:" $in_help >&2
echo "perlo-sim(1):" $in_man >&2
exit 1
