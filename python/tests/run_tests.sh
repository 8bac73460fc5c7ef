#!/usr/bin/env bash
# Runs the Python tests: run_tests.sh PYTHON TESTDIR [LOGDIR].
# With LOGDIR (sanitized builds), sanitizer reports go to LOGDIR/asan.*. The interpreter and
# numpy keep memory until exit by design, so leaks fail the run only when a leaked block was
# allocated by the library or by the extension; any other sanitizer error always fails it.
set -u
python=$1 tests=$2 logs=${3:-}
if [[ -n $logs ]]; then
  mkdir -p "$logs"
  rm -f "$logs"/asan.*
  # exitcode=0: the leak check at exit must not decide the status; the logs below do.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$logs/asan:exitcode=0"
fi
"$python" -m pytest -q -p no:cacheprovider "$tests"
status=$?
if [[ -n $logs ]] && compgen -G "$logs/asan.*" >/dev/null; then
  ours='_core\.cpython|libKeloGeomNet'
  if grep -q "ERROR: AddressSanitizer" "$logs"/asan.*; then
    cat "$logs"/asan.*
    status=1
  elif grep -qE "$ours" "$logs"/asan.*; then
    # Only the leak reports that involve our code.
    awk -v ours="$ours" '
      /^(Direct|Indirect) leak/ { if (block ~ ours) print block; block = $0 "\n"; next }
      { block = block $0 "\n" }
      END { if (block ~ ours) print block }' "$logs"/asan.*
    status=1
  fi
fi
exit $status
