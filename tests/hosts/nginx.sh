#!/usr/bin/env bash
# The README's nginx recipe in Debian's nginx and its Lua module, downloaded
# and unpacked into build-nginx/ (apt-get download, dpkg -x), never
# installed: the module needs OpenResty's LuaJIT package, which cannot be
# installed beside Debian's luajit. The block's module folder and port
# become the build's and a free one; it must serve a sealed round trip.
#   tests/hosts/nginx.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}") work=$(realpath -m build-nginx)
root=$work/root run=$work/run
if [ ! -f "$root/.complete" ]; then
    mkdir -p "$work/debs" "$root"
    (cd "$work/debs" && apt-get download -qq nginx nginx-common libnginx-mod-http-ndk libnginx-mod-http-lua \
        lua-resty-core lua-resty-lrucache libluajit2-5.1-2 2>&1 | grep -v unsandboxed || true)
    for deb in "$work"/debs/*.deb; do dpkg -x "$deb" "$root"; done
    touch "$root/.complete"
fi
port=$((18000 + RANDOM % 1000))
mkdir -p "$run"
{
    echo "daemon off; master_process off; pid $run/nginx.pid; error_log $run/error.log;"
    for m in ndk_http_module ngx_http_lua_module; do echo "load_module $root/usr/lib/nginx/modules/$m.so;"; done
    echo "events {}"
    echo "http {"
    echo "access_log off; lua_package_path \"$root/usr/share/lua/5.1/?.lua;;\";"
    for t in client_body proxy fastcgi uwsgi scgi; do echo "${t}_temp_path $run/$t;"; done
    lua5.1 tests/docs/readme.lua block nginx | sed -e "s|/usr/local/lib/lua/5.1|$build|" \
        -e "s|listen 8080;|listen 127.0.0.1:$port;|" -e "s|127.0.0.1:8080/|127.0.0.1:$port/|"
    echo "}"
} > "$run/nginx.conf"
LD_LIBRARY_PATH=$(echo "$root"/usr/lib/*-linux-gnu) "$root/usr/sbin/nginx" -e "$run/error.log" -p "$run" \
    -c "$run/nginx.conf" &
trap 'kill $! 2>/dev/null || true' EXIT
answer=""
for _ in $(seq 100); do
    answer=$(curl -s "http://127.0.0.1:$port/roundtrip" || true)
    [ -n "$answer" ] && break
    sleep 0.1
done
[ "$answer" = hi ] || { echo "FAIL: nginx answered '$answer'"; cat "$run/error.log"; exit 1; }
echo "nginx recipe: GET /roundtrip answered '$answer'"
opened=$(curl -s "http://127.0.0.1:$port/opened" | sort | uniq -c)
[ "$opened" = "   1000 hello from upstream" ] || { echo "FAIL: /opened gave '$opened'"; cat "$run/error.log"; exit 1; }
echo "nginx recipe: GET /opened gave the upstream's sealed body opened, 1000 lines"
