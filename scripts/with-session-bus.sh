#!/bin/sh
# Runs a command on a private session bus, as on a desktop session. The notes of the bus
# and of the services it starts go nowhere; the command's own output stays where it was
# (kept aside on descriptors 3 and 4 meanwhile).
exec 3>&2 4>&1
exec dbus-run-session -- sh -c 'exec "$@" >&4 2>&3 3>&- 4>&-' sh "$@" >/dev/null 2>&1
