# Helpers shared by the setup scripts: sourced, not run.

# install_debian_packages PACKAGE...: installs those not yet installed.
install_debian_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing Debian packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# make_venv DIR PIP-ARGUMENTS...: creates the virtual environment when missing, then installs.
make_venv() {
  local dir=$1; shift
  if [ ! -x "$dir/bin/python" ]; then
    python3 -m venv "$dir"
    "$dir/bin/python" -m pip install -q --upgrade pip
  fi
  "$dir/bin/python" -m pip install -q "$@"
}
