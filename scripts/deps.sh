#!/usr/bin/env bash
# Installs the distribution packages that building, running and testing need, when missing.
# Debian and Ubuntu; uses sudo only when not root.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    qttools5-dev qttools5-dev-tools   # the English translation: lupdate, lrelease
    zlib1g-dev libpng-dev   # masks written as PNG
    libopencv-imgproc-dev   # image analysis: OpenCV core and imgproc
    libopencv-video-dev libopencv-calib3d-dev   # following motion between frames
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev   # video files, read as frames
    qt5-image-formats-plugins kimageformat-plugins   # WebP, TIFF, AVIF, HEIF, JPEG XL
    fonts-wqy-microhei   # the interface speaks Chinese
    qttranslations5-l10n   # and so do Qt's own dialogs
    xvfb xdotool libx11-dev   # the end-to-end test drives the real program on a virtual display
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
echo "(the package lists are updated first; this can take a few minutes)"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
