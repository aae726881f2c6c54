#!/usr/bin/env bash
# Installs the Debian packages that Ruvello needs and that are missing.
#   install-deps.sh run    what building and running the viewer needs (exiv2 turns photos)
#   install-deps.sh test   that, and what the tests, fuzzers and benchmarks need
set -euo pipefail

run_packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins
    libepoxy-dev libgl-dev libjpeg-dev libpng-dev liblcms2-dev
    libgl1-mesa-dri fonts-dejavu-core exiv2
    libopencv-core-dev libopencv-imgproc-dev libopencv-features2d-dev libopencv-calib3d-dev
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-utils xdotool libegl-dev libegl-mesa0 mesa-utils
    libjpeg-turbo-progs libimage-exiftool-perl
    clang libclang-rt-14-dev clang-format git
    python3 tzdata desktop-file-utils libxml2-utils shared-mime-info attr
    tesseract-ocr tesseract-ocr-eng liblcms2-utils python3-pil
    libx11-dev libxext-dev dbus-daemon
)

wanted=("${run_packages[@]}")
if [ "${1:-run}" = test ]; then
    wanted+=("${test_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" != 0 ]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
# sudo drops the caller's environment, so the setting goes after it.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
