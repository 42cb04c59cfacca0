#!/usr/bin/env bash
# Fails when engine code includes widget headers or a core-only program links Qt Gui/Widgets.
set -u
src="$1/src"
core_only_binary="$2"
status=0

# Engine code is everything outside ui/ folders, shell/ and the GUI entry point.
hits=$(grep -rnE '#\s*include\s*[<"](QtWidgets/|QtGui/|QWidget|QDialog|QMainWindow|QMessageBox|QApplication|QGuiApplication|QAction|QMenu|QLabel|QPushButton|QLineEdit|QTreeView|QTextBrowser|QPixmap|QIcon|QImage|QColor|QFont|QPainter)' \
  "$src" --include='*.h' --include='*.cpp' \
  | grep -vE "^$src/[a-z]+/ui/|^$src/shell/|^$src/main\.cpp:" || true)
if [ -n "$hits" ]; then
  echo "engine code includes widget or GUI headers:"
  echo "$hits"
  status=1
fi

libs=$(readelf -d "$core_only_binary" | grep NEEDED || true)
if echo "$libs" | grep -qE 'libQt6(Widgets|Gui)'; then
  echo "a program linking only korvel_core depends on Qt Gui/Widgets:"
  echo "$libs"
  status=1
fi
[ $status -eq 0 ] && echo "core is free of widgets"
exit $status
