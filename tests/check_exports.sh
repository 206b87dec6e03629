#!/usr/bin/env bash
# Fails when a library exports anything beyond its public interface: the hex/string helpers,
# codec classes or standard-library instantiations must never be visible to the dynamic linker.
set -u
status=0
for lib in "$@"; do
  name=$(basename "$lib")
  syms=$(nm -D --defined-only "$lib" | awk '{print $3}')
  case "$name" in
    liborbdev.so) allowed='^ORBX_' ;;
    libstrix.so) allowed='^([A-Za-z]|_[A-Za-y])[A-Za-z0-9_]*$' ;;  # C names only, no C++ (_Z…) symbols
    libtessera.so) allowed='^(_ZN7TESSERA|_ZNK7TESSERA|_ZTVN7TESSERA|_ZTIN7TESSERA|_ZTSN7TESSERA|Java_com_velnor_tessera_|JNI_On)' ;;
    *) echo "unknown library $name"; status=1; continue ;;
  esac
  bad=$(printf '%s\n' "$syms" | grep -v -E "$allowed" | grep -v '^$')
  # No library may export a helper under any name form.
  helpers=$(printf '%s\n' "$syms" | grep -E '(H2BV|BV2H|B2H|H2B|I2HEX|SPLIT|TRIM|ESCAPE|DUP|UPPER|LOWER|ASCII2H|H2ASCII|s2ws|ws2s|SLEEP)' )
  if [ -n "$bad$helpers" ]; then
    echo "$name exports symbols outside its public interface:"
    printf '%s\n' $bad $helpers | sort -u | head -40
    status=1
  else
    echo "$name: $(printf '%s\n' "$syms" | grep -c .) public symbols"
  fi
done
exit $status
