#!/usr/bin/env bash
# Tells whether this machine can run the 32-bit Windows build under Wine,
# by trying it: some kernels refuse every 32-bit x86 program ("Exec format
# error"), whatever is installed. Exit 0 when it can; otherwise print the
# reason on stdout and exit 1. QUORBEL_NO_WIN32=1 forces the answer "no".
if [ "${QUORBEL_NO_WIN32:-0}" = 1 ]; then
  echo "QUORBEL_NO_WIN32=1 is set"
  exit 1
fi
probe=/usr/lib/wine/wineserver32
if [ ! -x "$probe" ]; then
  echo "the 32-bit Wine ($probe) is not installed"
  exit 1
fi
if ! out=$("$probe" --version 2>&1); then
  echo "this machine cannot execute 32-bit x86 programs ($probe: ${out:-failed})"
  exit 1
fi
exit 0
