#!/bin/bash
# Runs the command examples of a document as a user would type them: every
# ```sh block of a Markdown file, every .EX/.EE block of a man page, each as
# a bash script that must succeed. The programs are the build's: build/bin/
# in the working directory leads there, and so does PATH.
#
# A block whose one command starts the reader simulator in the foreground is
# a server, as in a second terminal: it runs in the background until the
# document is done, and the next block waits for its --link to appear.
# Blocks that need an installed PREFIX (the install test runs those) or that
# run make (they build the tree) are left out and named.
# Usage: check_doc_commands.sh DOCUMENT BIN_DIR SOURCE_DIR
doc=$1
bin=$(cd "$2" && pwd) || exit 1
src=$(cd "$3" && pwd) || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-docs.XXXXXX") || exit 1
servers=()
cleanup() {
  for pid in "${servers[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# The working directory looks like the top of the tree: build/bin and python/.
mkdir -p "$work/build" "$work/home/.config" && ln -s "$bin" "$work/build/bin" && ln -s "$src/python" "$work/python"
# Nothing of the user's own configuration is read or written.
export PATH="$bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work"

case "$doc" in
*.md)
  awk -v dir="$work" '
    /^```sh$/ { n++; file = sprintf("%s/block.%03d", dir, n); inside = 1; next }
    inside && /^```$/ { inside = 0; close(file); next }
    inside { print > file }' "$doc" ;;
*)
  # groff escapes back to the characters typed: \- is -, \(aq is ', \e is \.
  awk -v dir="$work" '
    /^\.EX$/ { n++; file = sprintf("%s/block.%03d", dir, n); inside = 1; next }
    inside && /^\.EE$/ { inside = 0; close(file); next }
    inside { gsub(/\\-/, "-"); gsub(/\\\(aq/, "\047"); gsub(/\\e/, "\\\\"); print > file }' "$doc" ;;
esac

# A sanitizer build's libraries need their run-times loaded first into
# Debian's uninstrumented python3, whose own allocations are no leaks of ours.
prelude=
if [ -n "${KESTREL_PYTHON_PRELOAD:-}" ]; then
  prelude="python3() { LD_PRELOAD='$KESTREL_PYTHON_PRELOAD' ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:exitcode=86 command python3 \"\$@\"; }"
fi

ran=0
for block in "$work"/block.*; do
  [ -e "$block" ] || { echo "FAIL: no command examples in $doc"; exit 1; }
  commands=$(grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$block")
  if grep -qE '(^|[^A-Za-z_])PREFIX/|^make( |$)' <<<"$commands"; then
    echo "left out (needs an installed PREFIX, or builds the tree): $(head -n 1 <<<"$commands")"
    continue
  fi
  if [ "$(wc -l <<<"$commands")" -eq 1 ] && grep -qE '^(build/bin/)?kestrel-readersim .*--link ' <<<"$commands" &&
    ! grep -qE '&[[:space:]]*(#.*)?$' <<<"$commands"; then
    link=$(sed -n 's/.*--link \([^ ]*\).*/\1/p' <<<"$commands")
    [ -L "$link" ] && rm -f "$link"
    (cd "$work" && exec bash -c "exec $commands") >"$work/server.out" 2>&1 &
    servers+=($!)
    for _ in $(seq 100); do
      [ -L "$link" ] && break
      sleep 0.1
    done
    [ -L "$link" ] || { cat "$work/server.out"; echo "FAIL: the simulator of $doc made no link $link"; exit 1; }
    echo "serving: $commands"
    continue
  fi
  [ -n "$prelude" ] && sed -i "1i $prelude" "$block"
  if ! (cd "$work" && timeout 120 bash -e -o pipefail "$block") >"$work/out" 2>&1; then
    echo "FAIL: an example of $doc does not run as shown:"
    cat "$block"
    echo "--- its output:"
    cat "$work/out"
    exit 1
  fi
  ran=$((ran + 1))
  echo "ran: $(head -n 1 <<<"$commands")"
done
[ "$ran" -gt 0 ] || { echo "FAIL: no example of $doc ran"; exit 1; }
echo "$ran example blocks of $doc run as shown"
