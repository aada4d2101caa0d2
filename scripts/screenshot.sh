#!/usr/bin/env bash
# Takes the documentation's pictures of the real window under Xvfb with virtual chips:
# docs/screenshot.png (Chinese, four chips in the middle of a run), and the same finished run in
# Chinese and in English (docs/screenshot-zh.png, docs/screenshot-en.png). Builds what it needs
# in build/ first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target test_app -j "$(nproc)"

shoot() {  # variable file test-filter
  env QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$1=$PWD/$2" \
    xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" \
    build/tests/test_app --gtest_filter="$3"
  if [ -s "$2" ]; then echo "written: $2"; else echo "not written: $2 (no such test yet)"; fi
}
shoot PELLION_SCREENSHOT docs/screenshot.png 'WindowEndToEndTest.MidRun*'
shoot PELLION_SCREENSHOT_ZH docs/screenshot-zh.png 'WindowLanguagesRun.InChinese*'
shoot PELLION_SCREENSHOT_EN docs/screenshot-en.png 'WindowLanguagesRun.InEnglish*'
