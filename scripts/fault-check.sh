#!/usr/bin/env bash
# Plants the faults of tests/faults/faults.txt one at a time into a scratch copy of the tree, builds
# only what the planted file needs, runs the tests that cover it and tells whether they caught it.
# A tool for people, not part of CI. Linux only.
#
# Usage: scripts/fault-check.sh [-t tree] [-w work folder] [-f faults file] [pattern]
#   pattern  an extended regular expression; only faults whose number, file or reason match it run
#   -t       the tree to check (default: this checkout)
#   -w       where the scratch copy and its build folder live (default: /tmp/duevia-fault-check-$USER)
#   -f       the faults file (default: <tree>/tests/faults/faults.txt)
# Prints one line per fault (caught / SURVIVED / n/a when the text to find is absent) and a tally.
set -euo pipefail

tree=$(cd "$(dirname "$0")/.." && pwd)
work=/tmp/duevia-fault-check-${USER:-$(id -un)}
faults=
while getopts "t:w:f:" option; do
    case $option in
    t) tree=$(cd "$OPTARG" && pwd) ;;
    w) work=$OPTARG ;;
    f) faults=$OPTARG ;;
    *) sed -n '5,10p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
pattern=${1:-}
faults=${faults:-$tree/tests/faults/faults.txt}
faults=$(cd "$(dirname "$faults")" && pwd)/$(basename "$faults")

scratch=$work/tree
build=$work/build
log=$work/log
mkdir -p "$scratch" "$log"

# The scratch copy follows the tree; unchanged files keep their times so that the build stays warm.
(cd "$tree" && find . -path ./.git -prune -o -path './build*' -prune -o -type f -print) | sed 's|^\./||' \
    | while IFS= read -r f; do
        if ! cmp -s "$tree/$f" "$scratch/$f"; then
            mkdir -p "$(dirname "$scratch/$f")"
            cp -p "$tree/$f" "$scratch/$f"
        fi
    done

# Every fault relinks its tests: a fast linker, when there is one, saves most of the time.
linker=
for candidate in lld gold; do
    if command -v "ld.$candidate" >/dev/null; then
        linker=-fuse-ld=$candidate
        break
    fi
done
cmake -S "$scratch" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DCMAKE_EXE_LINKER_FLAGS="$linker" -DDUEVIA_BUILD_TESTS=ON >"$log/configure.txt"
echo "Building the unplanted tree in $build ..."
nice cmake --build "$build" --parallel 2 >"$log/build.txt" 2>&1 || {
    echo "The unplanted tree does not build: see $log/build.txt" >&2
    exit 1
}

# The CTest names (a regular expression) of the tests that cover a file: a class's own unit tests
# (each layer answers for its faults), a QML document's page tests. A fault may name others ("tests:").
covering_tests() {
    case $1 in
    src/storage/*) echo '^tst_(dbmanager|authservice|customerservice|taskservice)_' ;;
    src/services/AuthService.*) echo '^tst_authservice_' ;;
    src/services/SettingsService.*) echo '^tst_settingsservice_' ;;
    src/services/NotificationService.*) echo '^tst_notificationservice_' ;;
    src/services/TaskService*) echo '^tst_taskservice_' ;;
    src/services/CustomerService.*) echo '^tst_customerservice_' ;;
    src/models/TaskTableModel.*) echo '^tst_(tasktablemodel|taskproxymodel)_' ;;
    src/models/TaskProxyModel.*) echo '^tst_taskproxymodel_' ;;
    src/models/CustomerTableModel.*) echo '^tst_customer(tablemodel|service)_' ;; # the service test holds the model
    src/app/*) echo '^tst_startup_' ;;
    qml/LoginPage.qml | qml/RegisterPage.qml) echo '^qml_tst_accounts' ;;
    qml/HomePage.qml | qml/SettingsDialog.qml) echo '^qml_tst_(home|main|customertasks)' ;;
    qml/Main.qml | qml/Toast.qml) echo '^qml_tst_main' ;;
    qml/TasksPage.qml | qml/TaskActionMenu.qml) echo '^qml_tst_task' ;;
    qml/TaskDialog.qml | qml/ExpiryPicker.qml | qml/MyDatePicker.qml) echo '^qml_tst_(taskdialog|taskspage|main|customertasks)' ;;
    qml/GlobalShortcut.qml) echo '^qml_tst_(taskspage|customerspage)' ;;
    qml/CustomersPage.qml) echo '^qml_tst_customer' ;;
    qml/CustomerDialog.qml | qml/CustomerSelectionDialog.qml) echo '^qml_tst_(customer|taskdialog)' ;;
    qml/CalendarPage.qml | qml/TasksDialog.qml) echo '^qml_tst_(calendarpage|chartpage)' ;;
    qml/ChartPage.qml) echo '^qml_tst_chartpage' ;;
    qml/*) echo '^qml_tst_' ;;
    *) echo '.' ;;
    esac
}

# The build targets behind a set of CTest names: qml_* run tst_qml, tst_<class>_<zone> run tst_<class>.
targets_of() {
    (cd "$build" && ctest -N -R "$1") | sed -n 's/^ *Test *#[0-9]*: //p' \
        | sed -e 's/^qml_.*/tst_qml/' -e 's/^\(tst_[a-z]*\)_.*/\1/' | sort -u | tr '\n' ' '
}

# Reads the faults file: blocks of "file:", "find:", "put:", "why:" (and optionally "tests:", a CTest
# regular expression) lines, separated by blank lines;
# "\n" in find or put stands for a line break. Prints one record per fault, fields separated by \x1f.
parse_faults() {
    python3 - "$1" <<'EOF'
import sys
fault, number = {}, 0
def flush():
    global fault, number
    if fault:
        number += 1
        missing = [k for k in ("file", "find", "why") if k not in fault]
        if missing:
            sys.exit(f"fault {number}: missing {', '.join(missing)}")
        print("\x1f".join([str(number), fault["file"], fault["find"], fault.get("put", ""), fault["why"], fault.get("tests", "")]))
    fault = {}
for line in open(sys.argv[1], encoding="utf-8").read().splitlines() + [""]:
    if not line.strip():
        flush()
    elif not line.startswith("#"):
        key, _, value = line.partition(":")
        fault[key.strip()] = value[1:] if value.startswith(" ") else value
EOF
}

# Replaces the first occurrence of find by put in file; exits 3 when find is absent.
plant() {
    python3 - "$@" <<'EOF'
import sys
path, find, put = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path, encoding="utf-8").read()
if find not in text:
    sys.exit(3)
open(path, "w", encoding="utf-8").write(text.replace(find, put, 1))
EOF
}

caught=0 survived=0 skipped=0 total=0
survivors=()
while IFS=$'\x1f' read -r number file find put why tests; do
    if [ -n "$pattern" ] && ! printf '%s %s %s\n' "$number" "$file" "$why" | grep -Eq -- "$pattern"; then
        continue
    fi
    total=$((total + 1))
    label=$(printf '%3d %-38s %s' "$number" "$file" "$why")
    target=$scratch/$file
    backup=$work/original
    if [ ! -f "$target" ]; then
        echo "n/a      $label (no such file)"
        skipped=$((skipped + 1))
        continue
    fi
    cp -p "$target" "$backup"
    status=0
    plant "$target" "$find" "$put" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "n/a      $label (text not found)"
        skipped=$((skipped + 1))
        continue
    fi
    [ -n "$tests" ] || tests=$(covering_tests "$file")
    verdict=SURVIVED
    if ! nice cmake --build "$build" --parallel 2 --target $(targets_of "$tests") \
        >"$log/fault-$number.txt" 2>&1 </dev/null; then
        verdict="n/a     " # a fault that does not build tells nothing about the tests
    elif ! (cd "$build" && QT_QPA_PLATFORM=offscreen nice ctest -R "$tests" --parallel 2 --output-on-failure --stop-on-failure \
        --timeout 300 >>"$log/fault-$number.txt" 2>&1 </dev/null); then
        verdict="caught  "
    fi
    cp "$backup" "$target" # restored with a new time, so the next build compiles it again (from ccache)
    if [ "$verdict" = "n/a     " ]; then
        skipped=$((skipped + 1))
        label="$label (does not build)"
    elif [ "$verdict" = SURVIVED ]; then
        survived=$((survived + 1))
        survivors+=("$label")
    else
        caught=$((caught + 1))
    fi
    echo "$verdict $label"
done < <(parse_faults "$faults")

echo
echo "caught $caught of $((total - skipped)) applicable faults ($total checked, $skipped not applicable)"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
echo "logs: $log"
