# Sourced by the install scripts: installs the Debian packages given that are
# not installed yet. Asks apt nothing and prints nothing when all are there.
install_missing_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0

  local sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  # Without recommends: they would pull in dozens of desktop packages nobody needs here.
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
