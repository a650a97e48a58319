#!/usr/bin/env bash
# Builds bsdtar.exe, the program Windows ships as its own tar.exe, from
# Debian's libarchive sources (tools/setup-machine.sh fetches them), for the
# tests to install as system32\tar.exe. Static: zlib by its archive and the GCC
# runtime, so it needs no DLL beside it. Zip is all Setup hands it, so every
# optional compressor and all crypto stay out.
#   bash build.sh DEPS_DIR WORK_DIR OUT_EXE TOOLCHAIN_FILE LIBZ_A
# DEPS_DIR holds the unpacked sources as libarchive-VERSION/.
set -eu
deps=${1:?folder of the libarchive sources}
work=${2:?work folder}
out=${3:?output exe}
toolchain=${4:?toolchain file}
libz=${5:?libz.a}
src=$(ls -d "$deps"/libarchive-*/ 2>/dev/null | sort -V | tail -1)
if [ -z "$src" ] || [ ! -f "$src/CMakeLists.txt" ]; then
  echo "bsdtar: no libarchive sources in $deps: run tools/setup-machine.sh" >&2
  exit 1
fi
# Run from a make of the outer build: its job-server flags are not for this one.
unset MAKEFLAGS MFLAGS MAKELEVEL
echo "bsdtar: building $(basename "$src") (a few minutes, once per build tree)"
off=""
for o in OPENSSL MBEDTLS NETTLE CNG LIBB2 LZ4 LZO LZMA ZSTD BZip2 LIBXML2 EXPAT PCREPOSIX LIBGCC \
         ICONV ACL XATTR TEST COVERAGE CPIO CAT INSTALL WERROR; do
  off="$off -DENABLE_$o=OFF"
done
# CMake 3.25 crashes on libarchive's ZLIB_WINAPI try-run when cross-compiling:
# give it the answer (our zlib is not built with ZLIB_WINAPI).
# shellcheck disable=SC2086
cmake -S "$src" -B "$work" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  $off -DENABLE_TAR=ON -DENABLE_ZLIB=ON -DPOSIX_REGEX_LIB=NONE \
  -DZLIB_LIBRARY="$libz" -DZLIB_INCLUDE_DIR="$(dirname "$(dirname "$libz")")/include" \
  -DZLIB_WINAPI_EXITCODE=1 -DZLIB_WINAPI_EXITCODE__TRYRUN_OUTPUT= \
  -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc" >"$work.log" 2>&1 ||
  { tail -30 "$work.log" >&2; exit 1; }
cmake --build "$work" -j2 --target bsdtar >>"$work.log" 2>&1 || { tail -30 "$work.log" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
cp -f "$work/bin/bsdtar.exe" "$out.new"
x86_64-w64-mingw32-strip "$out.new"
mv -f "$out.new" "$out"
