#!/usr/bin/env bash
# The README's Neovim recipe: a plain user's luarocks --local make (as
# nobody when run as root) in a fresh home, the README's block as init.lua
# of nvim --headless, and a round trip through the module it found.
#   tests/hosts/neovim.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir "$home/vorsel"
git ls-files --cached --others --exclude-standard | tar -cf - -T - | tar -C "$home/vorsel" -xf -
lua5.1 tests/docs/readme.lua block neovim > "$home/init.lua"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$home"
    as_user=(runuser -u nobody --)
fi
"${as_user[@]}" env HOME="$home" sh -c 'cd "$HOME/vorsel" && luarocks --lua-version=5.1 --local make' \
    > "$home/luarocks.log" 2>&1 || { cat "$home/luarocks.log"; exit 1; }
check='local k = {} for i = 1, 16 do k[i] = i end
local p = vorsel.decrypt(vorsel.encrypt({ 104, 105 }, k), k)
io.stdout:write(string.char(p[1], p[2]))'
answer=$("${as_user[@]}" env HOME="$home" nvim --headless -u "$home/init.lua" -c "lua $check" -c 'qa!' 2>&1)
[ "$answer" = hi ] || { echo "FAIL: Neovim gave '$answer'"; exit 1; }
echo "Neovim recipe: the module from luarocks --local make, round trip '$answer'"
