#!/bin/bash
# Writes the fuzz target's seed corpus: one scenario per file, made from the
# end-to-end cases (see agent_scenario.h for the line format). The files are
# text, so the corpus in tests/fuzz/corpus is readable and reviewable; run
# this again after changing a seed here.
set -euo pipefail
out="${1:-$(dirname "$0")/corpus}"
rm -rf "$out"
mkdir -p "$out"

# The machine most seeds share: the probe in the agent's directory and on
# PATH, the command interpreter, standard input with a few lines.
base='fp C:\AGENT\prog.exe
fp C:\BIN\tool.exe
fp C:\WINDOWS\cmd.exe
eCOMSPEC=C:\WINDOWS\cmd.exe
ePATH=C:\BIN;C:\WINDOWS
x3
iabc
i'

seed() {
  local name="$1"
  shift
  printf '%s\n' "$@" >"$out/$name"
}

seed success "$base" 'Aa b'
seed success-no-args "$base"
seed exit-all-ones "$base" 'x4294967295'
seed shell "$base" 'U1' 'Pdir' 'A/w'
seed shell-no-comspec 'fp C:\AGENT\prog.exe' 'ePATH=C:\BIN' 'U1'
seed shell-args-127 "$base" 'U-1' "A$(printf 'a%.0s' {1..127})"
seed workdir "$base" 'fp C:\WORK\prog.exe' 'WC:\WORK'
seed workdir-relative "$base" 'fp C:\AGENT\work\prog.exe' 'Wwork'
seed workdir-other-drive "$base" 'rD' 'fd D:\WORK' 'fp D:\WORK\prog.exe' 'WD:\WORK'
seed workdir-missing "$base" 'WC:\NOWHERE'
seed workdir-not-ready "$base" 'rD' 'fd D:\WORK' 'nD' 'WD:\WORK'
seed workdir-start-dir-removed "$base" 'fp C:\WORK\prog.exe' 'WC:\WORK' 'ba'
seed debug "$base" 'a11' 'fp C:\WORK\prog.exe' 'WC:\WORK'
seed debug-not-found 'a11' 'ePATH=C:\BIN' 'iab'
seed debug-validation 'a11' 'S!wdx' 'iab' 'h222'
seed debug-unterminated "$base" 'a11' "A$(printf 'a%.0s' {1..256})" "S$(printf 's%.0s' {1..11})" 'WC:\WORK'
seed debug-off-01 "$base" 'a12'
seed debug-off-quoted "$base" 'a13 third'
seed not-found 'ePATH=C:\BIN'
seed bad-format "$base" 'f C:\AGENT\prog.exe'
seed com-before-exe "$base" 'fp C:\AGENT\prog.com'
seed path-walk 'fp C:\BIN\prog.cmd' 'ePath=;;C:\NONE;"C:\B;IN";C:\BIN'
seed path-network 'fp \\srv\share\bin\prog.exe' 'fp C:\BIN2\prog.exe' 'x-1' \
  'ePATH=\\srv\share\bin;C:\BIN2'
seed path-slash 'fp C:\BIN\tools\prog.exe' 'ePATH=C:\BIN' 'Ptools/prog'
seed path-backslash 'fp C:\BIN\tools\prog.exe' 'ePATH=C:\BIN' 'Ptools\prog'
seed drive-colon "$base" 'PC:prog'
seed wrong-signature "$base" 'S!wdx'
seed wrong-version "$base" 'V1.00'
seed both-wrong "$base" 'SWDX!' 'V2.0'
seed unterminated-sig "$base" 'SSSSSSSSSSSS'
seed unterminated-prog "$base" "P$(printf 'p%.0s' {1..256})"
seed unterminated-args "$base" "A$(printf 'a%.0s' {1..256})"
seed unterminated-flag "$base" "F$(printf 'F%.0s' {1..256})"
seed unterminated-workdir "$base" "W$(printf 'w%.0s' {1..256})"
seed flag-missing "$base" 'qm'
seed flag-empty "$base" 'F'
seed flag-directory "$base" 'qd'
seed flag-wildcard "$base" 'FC:\JOBS\*.flg'
seed flag-read-only "$base" 'qr'
seed flag-removed-by-program "$base" 'bf'
seed record-short "$base" 'L1057'
seed record-long "$base" 'L2000'
seed record-missing "$base" 'om'
seed record-directory "$base" 'od'
seed record-read-only "$base" 'or'
seed record-read-only-later "$base" 'br'
seed record-removed-by-program "$base" 'bR'
seed record-quoted "$base" 'a20'
seed record-other-spelling "$base" 'a30'
seed no-arguments "$base" 'a00'
seed host-values "$base" 'E-1' 'X-1'
seed overlay "$base" 'R1046:02000000' 'R0:215744580000'
seed startup-block "$base" 'k05000000c1c1c1010100000000070000000b000000ffffffff11000000'
seed startup-block-full "$base" \
  "k40000000$(printf 'c1%.0s' {1..64})$(printf '11000000%.0s' {1..64})"
seed handles-pipes "$base" 'h2211' 'S!wdx'
seed handles-invalid "$base" 'h343' 'S!wdx'
seed stdin-fails "$base" 'h2220' 't6' 'S!wdx' 'a11'
seed stderr-fails "$base" 'g232' 'a11'
seed fault-disk-full "$base" 'zWriteFile 5 112'
seed fault-disk-full-final "$base" 'zWriteFile 6 112'
seed fault-short-write "$base" 'w6 100'
seed fault-short-write-status "$base" 'w5 1052'
seed fault-sharing "$base" 'zCreateFileA 2 32'
seed fault-delete "$base" 'zDeleteFileA 1 5'
seed fault-delete-twice "$base" 'z*DeleteFileA 1 5'
seed fault-final-store "$base" 'zCreateFileA 3 112'
seed fault-launch-store "$base" 'f C:\AGENT\prog.exe' 'zCreateFileA 3 5'
seed fault-no-memory "$base" 'zHeapAlloc 3 8'
seed fault-start "$base" 'zCreateProcessA 1 1234'
seed fault-wait "$base" 'zWaitForSingleObject 1 6'
seed fault-exit-code "$base" 'zGetExitCodeProcess 1 5'
seed fault-probe "$base" 'zGetFileAttributesA 1 21'
seed fault-search "$base" 'zFindFirstFileA 1 8'
seed fault-cwd "$base" 'fd C:\WORK' 'WC:\WORK' 'zGetCurrentDirectoryA 1 5'
seed fault-switch-back "$base" 'fp C:\WORK\prog.exe' 'WC:\WORK' 'zSetCurrentDirectoryA 2 3'
seed fault-environment "$base" 'zGetEnvironmentBlock 1 8'
seed start-in-jobs "$base" 'cC:\JOBS' 'Fjob.flg' 'PC:\AGENT\prog'
