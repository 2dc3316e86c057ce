#!/usr/bin/env bash
# The sources the linter reads in the test run, by what changed since the
# branch left its upstream, in a clone of this tree's last commit: none in a
# fresh clone, a changed source alone, every one where a change reaches more
# than its own file or where there is no upstream, and every one with
# KESTREL_LINT=all, as CI runs it.
#   lint_selection.sh SOURCE_DIR
set -u
# The choice by what changed, whatever the run around this test asks for
# (CI runs it under KESTREL_LINT=all).
unset KESTREL_LINT
source "$1/tests/e2e/common.sh"
lint=$1/scripts/lint.sh clone=$work/clone
git clone -q "$1" "$clone" && cd "$clone" || exit 1
# A branch of its own whose upstream is the commit cloned, whether the source
# is on a branch or on a commit alone (as CI checks one out).
git config user.name test && git config user.email test@localhost && git update-ref refs/remotes/origin/base HEAD &&
  git symbolic-ref refs/remotes/origin/HEAD refs/remotes/origin/base && git tag base && git checkout -q -B topic &&
  git branch -q -u origin/base || exit 1
every=$(git ls-files 'gate/*.cpp' 'fleet/*.cpp' 'forms/*.cpp' 'check/*.cpp' | sort)
# NAME CHANGE WANTED: the sources linted once CHANGE has run in the clone
# (then undone); WANTED "every" for every source.
while IFS='|' read -r name change wanted; do
  eval "$change"
  [ "$wanted" = every ] && wanted=$every
  check "$name" "$(bash "$lint" --sources "$clone" | sort)" "$wanted"
  git reset -q --hard base 2> /dev/null && git clean -qfd
done <<'TABLE'
a fresh clone: none||
a source changed, not committed|echo >> gate/probe.cpp|gate/probe.cpp
a source changed and committed on the branch|echo >> check/windows/files.cpp && git commit -qam c|check/windows/files.cpp
a new source, not yet added|touch fleet/windows/new.cpp|fleet/windows/new.cpp
a source renamed|git mv forms/centring.cpp forms/centre.cpp|forms/centre.cpp
a source removed|git rm -q gate/probe.cpp|
a header changed|echo >> gate/probe.h|every
the checks changed|echo >> .clang-tidy|every
a build file changed|echo >> CMakeLists.txt|every
a branch pushed to its own upstream|echo >> check/windows/files.cpp && git commit -qam c && git update-ref refs/remotes/origin/topic HEAD && git branch -q -u origin/topic|check/windows/files.cpp
no upstream to compare with|git branch -q --unset-upstream && git remote remove origin|every
TABLE
# The tree inside a larger repository: its changed sources are named from
# the tree, not from the repository's top.
outer=$work/outer
mkdir -p "$outer" && git -C "$clone" archive --prefix=kestrel/ base | tar -C "$outer" -xf - && cd "$outer" &&
  git init -q && git config user.name test && git config user.email test@localhost && git add -A &&
  git commit -qm import && git branch -q base && git checkout -q -b topic && git branch -q -u base &&
  echo >> kestrel/gate/probe.cpp || exit 1
check "inside a larger repository: a source changed" "$(bash "$lint" --sources "$outer/kestrel" | sort)" gate/probe.cpp
cd "$clone" || exit 1
check "KESTREL_LINT=all: every source" "$(KESTREL_LINT=all bash "$lint" --sources "$clone" | sort)" "$every"
summary
