# Sourced by the Windows scripts: fetches a Debian source package into a
# folder, adding bookworm's deb-src entries first when the machine has none.
# deb_source PACKAGE[=VERSION] FOLDER   (download only; the caller unpacks)
deb_source() {
  local pkg=$1 dir=$2 sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if ! grep -rqs '^[^#]*deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "Adding Debian bookworm source entries"
    $sudo tee /etc/apt/sources.list.d/statvtk-deb-src.sources >/dev/null <<'X'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
X
    $sudo apt-get update -qq
  elif ! apt-cache showsrc "${pkg%%=*}" >/dev/null 2>&1; then
    $sudo apt-get update -qq
  fi
  mkdir -p "$dir"
  (cd "$dir" && { apt-get source -qq --download-only "$pkg" >/dev/null 2>&1 || apt-get source --download-only "$pkg"; })
}
