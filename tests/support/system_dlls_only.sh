#!/bin/sh
# system_dlls_only.sh OBJDUMP PROGRAM: fails when a Windows program imports a DLL that
# Windows does not ship (libstdc++-6.dll, libwinpthread-1.dll, ...): harnow.exe must run
# from a folder with nothing beside it.
set -eu
dlls="$("$1" -p "$2" | sed -n 's/^\tDLL Name: //p')"
echo "$2 imports:" $dlls
for dll in $dlls; do
    case "$(echo "$dll" | tr '[:upper:]' '[:lower:]')" in
    kernel32.dll | msvcrt.dll | ws2_32.dll | iphlpapi.dll | advapi32.dll | bcrypt.dll | user32.dll) ;;
    *) echo "not a DLL of Windows: $dll" >&2 && exit 1 ;;
    esac
done
