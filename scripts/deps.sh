# Sourced by ./run and ./test: installs the Debian 12 packages the build, the client
# and the tests need, when any of them is missing.
vedris_packages=(
  build-essential cmake pkg-config libglib2.0-dev-bin  # glib-compile-resources: page scripts
  libxml2-dev libxslt1-dev nlohmann-json3-dev
  libgtk-4-dev libwebkitgtk-6.0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool dbus dbus-user-session xdg-utils fonts-dejavu-core poppler-utils
  python3-pyatspi  # the test that reads the window's accessibility tree
  locales-all  # uk_UA and other decimal-comma locales, so the number tests run everywhere
  clang libclang-rt-14-dev  # the fuzz targets (fuzz/run.sh), replayed by the CI
  libsqlite3-dev libgmime-3.0-dev libzip-dev nettle-dev libxlsxwriter-dev  # vedris-results: database, mail, zip, SHA-256, spreadsheet
)

# Installs the packages named, or by default those above, when any is missing.
vedris_install_deps() {
  local wanted=("${vedris_packages[@]}")
  [ $# -gt 0 ] && wanted=("$@")
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# vedris_build [target...]: configures and builds the given targets, or everything.
vedris_build() {
  local werror=OFF
  [ "${VEDRIS_WERROR:-0}" = "1" ] && werror=ON
  # ccache, when the machine has it, makes rebuilds of several checkouts cheap.
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEDRIS_WERROR="$werror" "${launcher[@]}" >/dev/null
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build build -j"$(nproc)" "${targets[@]}"
}

# What ./package needs beyond the build: the icon renderer and the checks of its output.
vedris_packaging_packages=(
  librsvg2-bin dpkg-dev file
  desktop-file-utils appstream lintian
)

vedris_install_packaging_deps() {
  vedris_install_deps "${vedris_packaging_packages[@]}"
}
