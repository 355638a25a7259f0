#!/usr/bin/env bash
# The floor check: each kind of crossing in a small tree is reported by file and
# line, a tree without one passes, and the program's own tree passes.
set -euo pipefail
check=$1
source_tree=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

mkdir -p "$tree"/{platform/com,device,store,import/dialogs,app/controls,app/core,tests}
printf '#pragma once\n' > "$tree/device/Link.h"
printf '#pragma once\n' > "$tree/app/CCorvaneDlg.h"
printf '#pragma once\n' > "$tree/app/controls/Ui.h"
printf '#pragma once\n' > "$tree/import/dialogs/Wizard.h"
printf '#pragma once\n#include "platform/com/Base.h"\n#include <QString>\n' > "$tree/platform/com/Base.h"
printf '#include "Base.h"\n' > "$tree/platform/com/Base.cpp"
printf '#include "app/CCorvaneDlg.h"\n' > "$tree/tests/test_main.cpp"

expect_clean() {
    if ! out=$("$check" "$tree" 2>&1); then
        echo "a clean tree was refused:"; echo "$out"; exit 1
    fi
}
expect_refused() { # file:line and what it says
    if out=$("$check" "$tree" 2>&1); then
        echo "not refused: $1"; exit 1
    fi
    grep -qF -- "$1" <<<"$out" || { echo "expected \"$1\" in:"; echo "$out"; exit 1; }
}

expect_clean
printf '#pragma once\n\n#include "device/Link.h"\n' > "$tree/platform/com/Up.h"
expect_refused 'platform/com/Up.h:3: a platform file includes "device/Link.h" from the core floor'
rm "$tree/platform/com/Up.h"

printf '#include <QWidget>\n' > "$tree/store/Records.cpp"
expect_refused 'store/Records.cpp:1: a core file includes the widget header <QWidget>'
printf '#include "import/dialogs/Wizard.h"\n' > "$tree/store/Records.cpp"
expect_refused 'a core file includes "import/dialogs/Wizard.h" from the dialogs floor'
rm "$tree/store/Records.cpp"

printf '#include "app/CCorvaneDlg.h"\nvoid f(CCorvaneDlg*);\n' > "$tree/import/dialogs/Commands.cpp"
expect_refused 'import/dialogs/Commands.cpp:1: a dialogs file includes "app/CCorvaneDlg.h" from the app floor'
expect_refused 'import/dialogs/Commands.cpp: names the main window'
rm "$tree/import/dialogs/Commands.cpp"

printf '#include "../../import/dialogs/Wizard.h"\n' > "$tree/app/controls/Seam.cpp"
expect_refused 'a controls file includes "import/dialogs/Wizard.h" from the dialogs floor'
rm "$tree/app/controls/Seam.cpp"

for _ in $(seq 701); do echo '// line'; done > "$tree/app/Long.cpp"
expect_refused 'app/Long.cpp: 701 lines, more than 700'
head -n 700 "$tree/app/Long.cpp" > "$tree/app/Long.tmp" && mv "$tree/app/Long.tmp" "$tree/app/Long.cpp"
expect_clean

"$check" "$source_tree"
