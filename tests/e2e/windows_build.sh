#!/usr/bin/env bash
# The 32-bit Windows build (make windows) is one GUI program for Windows 2000
# and later that needs nothing but Windows' own DLLs: no SDL, no C++ or
# thread runtime DLLs, DirectDraw loaded at run time rather than imported,
# and no imported function that Windows 2000 lacks. The first argument (the
# SDL2 build) is not used.
set -u
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
EXE=${TAVIMO_WIN32_BUILD_DIR:-$SOURCE_DIR/build-win32}/tavimo.exe
OBJDUMP=i686-w64-mingw32-objdump

fail() { echo "FAIL: $*" >&2; exit 1; }
if [ ! -f "$EXE" ]; then
  echo "SKIP: $EXE is not built (make windows builds it)" >&2
  exit 77
fi
if ! command -v "$OBJDUMP" >/dev/null; then
  echo "SKIP: $OBJDUMP is not installed (tools/install-deps.sh windows installs it)" >&2
  exit 77
fi

headers=$("$OBJDUMP" -p "$EXE") || fail "$OBJDUMP cannot read $EXE"
grep -q "file format pei-i386" <<<"$headers" || fail "not a 32-bit Windows program"
grep -Eq "^Subsystem[[:space:]]+00000002" <<<"$headers" || fail "not a GUI program"
major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers")
[ "$major" -le 5 ] || fail "needs Windows subsystem version $major (Windows 2000 is 5.0)"

# Imported DLLs: Windows' own, nothing else.
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
for dll in $dlls; do
  case $dll in
    kernel32.dll | user32.dll | winmm.dll | msvcrt.dll) ;;
    *) fail "imports $dll (imports: $dlls)" ;;
  esac
done
for dll in kernel32.dll user32.dll winmm.dll; do
  [[ " $dlls" == *" $dll "* ]] || fail "does not import $dll (imports: $dlls)"
done

# DirectDraw is found at run time by name.
strings -a "$EXE" | grep -qx "ddraw.dll" || fail "the name ddraw.dll is not in the program"
strings -a "$EXE" | grep -qx "DirectDrawCreate" || fail "the name DirectDrawCreate is not in the program"

# Functions that came after Windows 2000 (Vista's and XP's that C++ and
# thread runtimes like to use).
functions=$(sed -n '/Import Tables/,/Export Tables/p' <<<"$headers" \
  | awk 'NF == 3 && $2 ~ /^[0-9]+$/ {print $3}' | sort -u)
for late in GetTickCount64 AddVectoredExceptionHandler RemoveVectoredExceptionHandler \
    InitializeCriticalSectionEx InitializeSRWLock AcquireSRWLockExclusive \
    InitializeConditionVariable SleepConditionVariableCS WakeAllConditionVariable \
    InitOnceExecuteOnce FlsAlloc FlsGetValue GetCurrentProcessorNumber \
    CreateEventExW CreateSemaphoreExW GetSystemTimePreciseAsFileTime \
    QueryFullProcessImageNameW GetTickCount64 SetThreadDescription; do
  grep -qx "$late" <<<"$functions" && fail "imports $late, which Windows 2000 lacks"
done
count=$(wc -l <<<"$functions")
[ "$count" -gt 20 ] || fail "only $count imported functions found: the import table was not read"
echo "ok: 32-bit GUI program, subsystem $major.x, imports $count functions from $dlls"
