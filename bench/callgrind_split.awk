# Splits a callgrind profile of one simulated job into the agent's side and
# the simulated platform's side: every call from a function in the agent's
# sources (a file under SRC) to a platform function (nt::...) is the
# platform's, with all it calls; the rest is the agent's, including the C
# library routines the agent calls itself.
#   awk -v SRC=/path/to/src/ -f callgrind_split.awk callgrind.out
function named(text, table,    id, rest) {
  if (match(text, /^\([0-9]+\)/)) {
    id = substr(text, 2, RLENGTH - 2)
    rest = substr(text, RLENGTH + 2)
    if (rest != "") table[id] = rest
    return table[id]
  }
  return text
}
/^summary:/ { total = $2; next }
/^fl=/ { file = named(substr($0, 4), files); next }
/^(fi|fe)=/ { named(substr($0, 4), files); next }
/^(cfi|cfl)=/ { named(substr($0, 5), files); next }
/^fn=/ { fn = named(substr($0, 4), fns); inAgent = index(file, SRC) == 1; next }
/^cfn=/ { callee = named(substr($0, 5), fns); next }
/^calls=/ { call = 1; next }
/^[0-9+*-]/ {
  cost = $NF
  if (call) {
    if (inAgent && callee ~ /^nt::/) { seam += cost; seamCalls[callee] += cost }
    call = 0
  } else if (inAgent) {
    own += cost
  }
  next
}
END {
  printf "  instructions: %d in the whole simulated job\n", total
  printf "    %d on the agent's side (%d in its own code, the rest C library calls it makes)\n", total - seam, own
  printf "    %d inside the simulated platform calls\n", seam
}
