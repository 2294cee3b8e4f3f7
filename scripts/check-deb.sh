#!/usr/bin/env bash
# Unpacks a Duevia .deb into a temporary root, checks its contents and dependencies, then starts the
# unpacked program headless with a home of its own and waits until it has created its database.
set -euo pipefail
deb=$1
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
dpkg -x "$deb" "$work/root"

for file in bin/appQuilloQml3 share/applications/example.duevia.Duevia.desktop \
    share/icons/hicolor/scalable/apps/example.duevia.Duevia.svg share/metainfo/example.duevia.Duevia.metainfo.xml; do
    [ -e "$work/root/usr/$file" ] || { echo "not in the package: /usr/$file" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6qml6 qml6-module-qtquick-controls libqt6sql6-sqlite gstreamer1.0-plugins-good; do
    [[ "$depends" == *"$package"* ]] || { echo "the package does not depend on $package: $depends" >&2; exit 1; }
done

export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data QT_QPA_PLATFORM=offscreen
db=$XDG_DATA_HOME/appQuilloQml3/duevia2.db
"$work/root/usr/bin/appQuilloQml3" >"$work/log" 2>&1 &
pid=$!
count_tables="select count(*) from sqlite_master where name in ('users', 'tasks', 'customers', 'customer_contacts')"
tables=0
for _ in $(seq 150); do
    [ -f "$db" ] && tables=$(sqlite3 "$db" "$count_tables" 2>/dev/null || echo 0)
    [ "$tables" = 4 ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
sleep 1
if ! kill -0 "$pid" 2>/dev/null || [ "$tables" != 4 ]; then
    echo "the unpacked program did not start and create its database ($tables of its 4 tables)" >&2
    cat "$work/log" >&2
    exit 1
fi
echo "$deb: unpacks, starts headless and creates $db"
