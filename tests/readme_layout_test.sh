#!/usr/bin/env bash
# The README's layout table names every top-level folder of the tree and no other, so a newcomer
# can read it beside `ls`. Build and output folders (build*/, out/), which git ignores, are left out.
set -euo pipefail
source_dir=$1

# The backticks are the table's own, not a command.
# shellcheck disable=SC2016
table_folders() {
  sed -n '/^| Folder | What lives there |$/,/^$/p' "$source_dir/README.md" |
    sed -n 's/^| `\([^`/]*\)\/` |.*/\1/p' | sort
}

tree_folders() {
  find "$source_dir" -mindepth 1 -maxdepth 1 -type d ! -name '.*' ! -name 'build*' ! -name out -printf '%f\n' |
    sort
}

if ! diff <(table_folders) <(tree_folders); then
  echo "README layout table (<) and the folders of the tree (>) differ" >&2
  exit 1
fi
echo "README layout table: $(table_folders | wc -l) folders, as in the tree"
