#!/usr/bin/env bash
# lumora's container images, as root: scripts/container builds one for each
# architecture whose .deb is in build/package. Each saved OCI archive loads
# back as an image of its architecture whose lumora --version runs (foreign
# ones through qemu). The native image, in a network namespace of the test's
# own, reports a magic packet sent over a veth pair with --network host, and
# on podman's default network sees nothing and exits 3.
#   tests/linux/container_test.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$here/../..
source "$here/netns.sh"
if [ "$(id -u)" -ne 0 ]; then echo "SKIP: podman and network namespaces need root"; exit 77; fi

podman=("$repo/scripts/podman")
version=$("$repo/scripts/version" DOTTED)
tx=lumora-ctx-$$ rx=lumora-crx-$$
work=$(mktemp -d)
pid=""

trap end_test EXIT

fail() {
  echo "FAIL: $*"
  sed 's/^/  said: /' "$work/err" "$work/out" 2>/dev/null | head -n 20
  exit 1
}

check_archive() {
  local arch=$1 image platform=linux/$1
  [ "$arch" = armhf ] && platform=linux/arm
  image=$("${podman[@]}" load -q -i "$repo/build/container/lumora_${version}_$arch.oci.tar" | sed -n 's/^Loaded image[^:]*: //p')
  [ "$("${podman[@]}" image inspect --format '{{.Os}}/{{.Architecture}}' "$image")" = "$platform" ] ||
    fail "$image is not $platform"
  [ "$("${podman[@]}" run --rm "$image" --version)" = "lumora $version" ] || fail "$image: no lumora $version"
  echo "PASS: $arch: the archive loads as a $platform image of lumora $version"
}

container_gone() { ! kill -0 "$pid" 2>/dev/null; }
listening() { grep -qs "listening on" "$work/err" || container_gone; }
# Runs the native image in namespace rx with podman's ARGS, sends a magic
# packet once lumora listens, and waits for the container to end with exit
# code EXPECTED. nsenter, not ip netns exec: that one mounts a /sys of its
# own, without the cgroups runc needs.
run_container() {
  local expected=$1 code=0
  shift
  : >"$work/err"
  nsenter --net="/run/netns/$rx" "${podman[@]}" run --rm --cap-add NET_RAW --cap-add NET_ADMIN "$@" \
    "localhost/lumora:$version-$(dpkg --print-architecture)" --format json -c 1 --timeout 20 >"$work/out" 2>"$work/err" &
  pid=$!
  wait_for "lumora in the container to listen" 60 listening
  ip netns exec "$tx" "$here/wake_sender.py" udp 10.77.0.255 9 "ffffffffffff$(printf '001a2b3c4d5e%.0s' {1..16})" ||
    fail "wake_sender"
  wait_for "the container to end" 60 container_gone
  wait "$pid" || code=$?
  pid=""
  [ "$code" -eq "$expected" ] || fail "the container exited with $code, not $expected"
}

"$repo/scripts/container" | tee "$work/built" || fail "scripts/container"
for arch in $(sed -n 's/^container: built //p' "$work/built"); do check_archive "$arch"; done

new_namespace "$tx"
new_namespace "$rx"
veth "$tx" veth-tx 10.77.0.1/24 "$rx" veth-rx 10.77.0.2/24
run_container 0 --network host
/usr/bin/python3 "$here/check_json_lines.py" all "$work/out" record target_mac kind >"$work/seen" || fail "$(cat "$work/seen")"
[ "$(cat "$work/seen")" = "magic 00:1A:2B:3C:4D:5E udp4" ] || fail "not the one record of the packet: $(cat "$work/seen")"
echo "PASS: --network host: the one magic packet reported as json, exit 0"
run_container 3
[ ! -s "$work/out" ] || fail "podman's default network let a magic packet in"
echo "PASS: podman's default network: nothing seen in 20 s, exit 3"
