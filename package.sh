#!/usr/bin/env bash
# Builds a release of Tallowick and its Debian package, build-release/tallowick_VERSION_ARCH.deb
# (install it with: sudo apt install ./build-release/tallowick_*.deb).
# Only the programs and their installed files are built, not the tests or benchmarks; the
# release tree is the one ./run.sh uses.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh package

export CCACHE_BASEDIR="$PWD"
build=build-release
JOBS=${JOBS:-$(nproc)}
# Debian's hardening flags (stack protector, fortified calls, read-only relocations, bind now).
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLOWICK_BUILD_TESTS=OFF \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
      "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" > /dev/null
cmake --build "$build" --parallel "$JOBS" \
      --target tallowick tallowick-rank tallowick-engines tallowick_install_files

rm -f "$build"/tallowick_*.deb
(cd "$build" && cpack -G DEB > cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$build"/tallowick_*.deb
