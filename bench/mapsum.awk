# Sums a GNU ld link map's input sections by output section and by origin:
# Setup's own objects, the compiler's and MinGW's runtime, the COM GUIDs of
# libuuid, and alignment fill. Prints "section product runtime guids fill".
function hex(s,   i, c, v) {
  v = 0; s = tolower(s); sub(/^0x/, "", s)
  for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)); v = v * 16 + c - 1 }
  return v
}
function origin(f) {
  if (f ~ /libev_core\.a|setup_nopayload\.dir/) return "product"
  if (f ~ /libuuid\.a/) return "uuid"
  if (f ~ /\*fill\*/) return "fill"
  return "runtime"
}
/^\.[A-Za-z]/ { out = $1; next }
/^ \*fill\*/ { if (out != "") sum[out, "fill"] += hex($3); next }
/^ \.[^ ]+$/ { pending = 1; next }
pending && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ { sum[out, origin($3)] += hex($2); pending = 0; next }
/^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ { sum[out, origin($4)] += hex($3); pending = 0; next }
{ pending = 0 }
END {
  n = split(".text .rdata .data .pdata .xdata .idata .CRT .tls", secs, " ")
  for (i = 1; i <= n; i++) {
    s = secs[i]
    printf "%s %d %d %d %d\n", s, sum[s, "product"], sum[s, "runtime"], sum[s, "uuid"], sum[s, "fill"]
  }
}
