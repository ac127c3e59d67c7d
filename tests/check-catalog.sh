#!/bin/sh
# Fails when a text the program passes through the translation lookup has no
# German translation in the catalog.
set -eu
root=$1
pot=$(mktemp)
trap 'rm -f "$pot"' EXIT
cd "$root"
xgettext -k_ --from-code=UTF-8 -o "$pot" app/*.cpp check/*.cpp common/*.cpp registration/*.cpp \
  registry/*.cpp starter/*.cpp
msgcmp po/de.po "$pot"
untranslated=$(msgattrib --untranslated --no-obsolete po/de.po | grep -c '^msgid ' || true)
[ "$untranslated" -eq 0 ] || { echo "untranslated messages in po/de.po"; exit 1; }
echo "catalog complete"
