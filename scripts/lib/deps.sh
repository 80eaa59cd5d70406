# Shared by the scripts: installs the Debian packages that are missing, non-interactively.
# Usage: ensure_packages pkg...
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo="sudo"
    else
      echo "These packages are missing and this user cannot install them: ${missing[*]}" >&2
      return 1
    fi
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq || return 1
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" || return 1
}

# What building the game needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libx11-dev libgl-dev libgl1-mesa-dev
  libgl1-mesa-dri libglx-mesa0 libegl-dev libegl-mesa0 libwayland-dev libwayland-bin
  wayland-protocols libxkbcommon-dev libdecor-0-dev)
# What the tests need besides: GoogleTest, OpenGL ES 2 (the browser's OpenGL layer built natively),
# the virtual X server, XTest and image tools, a headless Wayland compositor with its key injector
# and screenshot tool, and a second one that draws no decorations (weston) with libdecor's plugin,
# which draws them there.
TEST_PACKAGES=(libgtest-dev libgles-dev xvfb libxtst-dev x11-utils x11-apps xdotool imagemagick sway wtype
  grim weston libdecor-0-plugin-1-cairo)
# What scripts/package needs to make the Debian packages and the Windows zip.
PACKAGE_PACKAGES=(dpkg-dev file gzip zip pkg-config g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64)
# What scripts/test-package needs besides to check them: lintian, the desktop entry's and the
# metainfo's validators, the icon renderer, the tools that drive and read a window, and unzip.
PACKAGE_TEST_PACKAGES=(lintian desktop-file-utils appstream librsvg2-bin imagemagick xvfb xdotool
  x11-utils unzip)
# The web build (scripts/web): Debian's emscripten, and the browser that tests its page.
WEB_PACKAGES=(emscripten chromium)
# The benchmarks: the peer library (its Wayland build is fetched by scripts/bench itself, with
# what it needs), the virtual X server and the headless compositor.
BENCH_PACKAGES=(libglfw3-dev xvfb sway libwayland-cursor0)
