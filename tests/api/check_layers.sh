#!/bin/bash
# The library's layers point down only: control -> usb -> core and
# control -> calibrat -> core. Fails on any include that points up or across.
# Usage: check_layers.sh READER_DIR
reader=$1
# Folders each layer may include from, besides the public header kestrel/.
declare -A allowed=(
  [core]="core"
  [usb]="usb core"
  [calibrat]="calibrat core"
  [control]="control usb calibrat core"
)
bad=0
for layer in "${!allowed[@]}"; do
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$text")
    folder=${target%%/*}
    [ "$folder" = kestrel ] && continue
    if [ "$folder" = "$target" ] || ! grep -qw -- "$folder" <<<"${allowed[$layer]}"; then
      echo "$file:$line: $layer includes \"$target\""
      bad=1
    fi
  done < <(grep -rn '#include "' "$reader/$layer")
done
[ -d "$reader/common" ] && { echo "$reader/common should not exist"; bad=1; }
[ $bad -eq 0 ] && echo "includes point down only: ${!allowed[*]}"
exit $bad
