#!/usr/bin/env bash
# Installs the Debian 12 packages that Duevia and its tests need; installs nothing that is present.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config libssl-dev
    qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools
    qt6-multimedia-dev qt6-charts-dev libqt6sql6-sqlite libical-dev
    # QML modules the program loads at run time
    qml6-module-qtqml qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-dialogs qml6-module-qtquick-templates qml6-module-qtquick-window
    qml6-module-qtqml-workerscript qml6-module-qtqml-models qml6-module-qtcharts
    qml6-module-qt-labs-folderlistmodel qml6-module-qtmultimedia
    # the window icon (SVG)
    libqt6svg6
    # alarm sound playback and opening web addresses
    libqt6multimedia6 gstreamer1.0-plugins-base gstreamer1.0-plugins-good xdg-utils
    # iCalendar import and export
    libical3
    # the task dialog's customer button is an emoji
    fonts-noto-color-emoji
    # tests, benchmarks and screenshots
    qml6-module-qttest tzdata libbenchmark-dev libsqlite3-dev xvfb xauth imagemagick xdotool python3
    # the package, its launcher entry and metainfo, and the private D-Bus of the notification test
    dpkg-dev desktop-file-utils appstream sqlite3 dbus
    # the team database: Qt's PostgreSQL driver, and the server the tests start privately (with pg_trgm)
    libqt6sql6-psql postgresql
    # CalDAV sync: the secret store client, and the servers, second client and keyring its tests run
    qtkeychain-qt6-dev gnome-keyring libsecret-tools radicale xandikos python3-caldav python3-icalendar
    # the sync flow in the real window, read through the accessibility tree
    at-spi2-core python3-pyatspi
    # translations: lupdate/lrelease at build time, Qt's own catalogues for the standard dialogs
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    # a server with a certificate nobody trusts
    openssl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
