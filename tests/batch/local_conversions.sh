# shellcheck shell=bash
# Sourced by the batch tests that convert elsewhere (hosts, a cluster): the check that what came
# back is what this machine makes. Uses the sourcing test's $reelkit, $work, damaged array and fail.

# Every good recording under INPUT has its output under OUT, named as reelkit-batch names it, and
# that output is the local conversion of the same file byte for byte; a damaged recording leaves
# nothing under a final name. Fails unless COUNT outputs were compared.
# shellcheck disable=SC2154  # $reelkit, $work and damaged are the sourcing test's
expect_local_conversions() {  # input out fourcc extension count
  local input=$1 out=$2 fourcc=$3 extension=$4 count=$5 compared=0 recording relative output
  while IFS= read -r -d '' recording; do
    relative=${recording#"$input"/}
    output=$out/${relative%.*}_$fourcc.$extension
    if printf '%s\n' "${damaged[@]}" | grep -qxF "$recording"; then
      [ ! -e "$output" ] || fail "a damaged file has an output: $output"
      continue
    fi
    "$reelkit" -in "$recording" -out "$work/local.$extension" -fourcc "$fourcc" >/dev/null
    cmp -s "$work/local.$extension" "$output" || fail "$output is not the local conversion"
    compared=$((compared + 1))
  done < <(find "$input" -type f -print0)
  [ "$compared" = "$count" ] || fail "compared $compared outputs"
  [ -z "$(find "$out" -name '.*.part-*')" ] || fail "temporary files left"
}
