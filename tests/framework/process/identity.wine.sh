#!/usr/bin/env bash
# Account identity of the real Kestrune.exe under Wine: its start-up log records that it runs
# with administrator rights (Wine gives every program an elevated administrator's token), that
# it is not the system account, and the user name Wine reports (the Unix user's).
set -euo pipefail
SRC=$(cd "${1:?source folder}" && pwd)
source "$SRC/tests/support/wine_lib.sh"

EXE=${KES_EXE:-$SRC/build/windows-x64/Kestrune.exe}
[[ -f $EXE ]] || kes_fail "$EXE is not built (cmake --build --preset windows-x64)"

kes_wine_begin "$SRC" identity
kes_wine_install "$EXE"

day_before=$(date +%F)
kes_wine_run 120 'C:\Tools\Kestrune.exe' /nothing
day_after=$(date +%F)
# A text that is no switch ends with 87 (ERROR_INVALID_PARAMETER), after the start-up.
if [[ $KES_RC != 87 ]]; then
  kes_wine_show_output
  kes_fail "Kestrune.exe /nothing $(kes_wine_ending)"
fi

logs=$(kes_c_path 'C:\ProgramData\Kestrune\Logs')
log=
for day in "$day_before" "$day_after"; do
  [[ -f $logs/Kestrune_$day.log ]] && log=$logs/Kestrune_$day.log
done
[[ -n $log ]] || kes_fail "no log file under C:\\ProgramData\\Kestrune\\Logs"

show_log() {
  echo "--- $log"
  cat "$log"
}
# The line after an entry's message holds its variables.
vars_after() {
  grep -F -A1 -- "Msg=[$1]" "$log" | grep -F 'Vars=[' | head -1 | tr -d '\r' || true
}

rights=$(vars_after 'Account rights of this instance.')
[[ -n $rights ]] || { show_log; kes_fail "no \"Account rights of this instance.\" entry"; }
[[ $rights == *'AppInst_IsAdmin.Boolean=True'* ]] ||
  { show_log; kes_fail "AppInst_IsAdmin is not True under Wine: $rights"; }
[[ $rights == *'AppInst_IsSystem.Boolean=False'* ]] ||
  { show_log; kes_fail "AppInst_IsSystem is not False under Wine: $rights"; }

user=$(vars_after 'Current user of this instance.')
[[ -n $user ]] || { show_log; kes_fail "no \"Current user of this instance.\" entry"; }
# Wine answers GetUserNameW with the name of the Unix user running it.
expected=$(id -un)
[[ ${user,,} == *"name_currentuser.string=${expected,,}]"* ]] ||
  { show_log; kes_fail "Name_CurrentUser is not \"$expected\": $user"; }

# The membership check answered; neither fallback was needed.
if grep -qF -e 'CheckTokenMembership API is not available!' -e 'Failed CheckTokenForAdmin API method!' "$log"; then
  show_log
  kes_fail "the administrator test fell back although CheckTokenMembership exists under Wine"
fi

echo "PASS: under Wine Kestrune.exe logs AppInst_IsAdmin=True, AppInst_IsSystem=False, Name_CurrentUser=$expected"
