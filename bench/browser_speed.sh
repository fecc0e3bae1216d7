#!/usr/bin/env bash
# Speed of the client in its real browser, on a generated assessment of 300 items
# (660 controls: text fields, text areas, radio buttons, check boxes, lists):
#   cold start      process launch to the start page loaded (results.xml created first)
#   form filled     the page's load event to its form filled from results.xml and bound.
#                   A page shown before fills itself as it loads, from a binding worked out
#                   when the navigation to it was allowed; the count of those is printed.
#                   For the others (the first round of each launch), the parts: the page's
#                   report reaching the client, the binding set up (the queue and the print
#                   margins), the page's form snapshot, the storage read and filled in
#                   memory, the fill written into the page
#   decided         a navigation requested to it decided, the page's submission included
#   draft           the candidate's change to the draft on disk: what the main thread spends
#                   once the page has answered (against the 20 ms budget), and the whole
#                   round trip with the page's script
# The executable runs from a fresh copy of the installation each time; its own timing
# lines (G_MESSAGES_DEBUG=Vedris) give the figures. Without a display it runs under Xvfb.
#
# Usage: bench/browser_speed.sh [build folder (default: build)] [launches (default: 3)]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
LAUNCHES=${2:-3}
ROUNDS=10
ITEMS=300

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
[ -x "$BUILD/bin/vedris" ] || { echo "No $BUILD/bin/vedris: build first." >&2; exit 1; }

WORK=$(mktemp -d /tmp/vedris-speed-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# ---- The installation: settings, start page, the generated assessment and its page ----
make_installation() {
  local dir=$1
  mkdir -p "$dir/Assessments"
  cp "$BUILD/bin/vedris" "$dir/vedris"
  cp demo/Assessments/ims_qtiasi2res.xslt "$dir/Assessments/"
  printf '[General]\nClientAssessments=bench\n' > "$dir/vedris.ini"
  cp "$WORK/bench.xml" "$WORK/bench.html" "$WORK/index.html" "$WORK/done.html" "$dir/Assessments/"
}

generate() {
  local xml=$WORK/bench.xml html=$WORK/bench.html i kind
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<questestinterop><assessment ident="BENCH" title="Швидкість"><section ident="S">'
    for ((i = 1; i <= ITEMS; i++)); do
      kind=$((i % 5))
      echo "<item ident=\"I$i\"><presentation>"
      case $kind in
        0) echo "<response_str ident=\"R\"><render_fib rows=\"1\"/></response_str>" ;;
        1) echo "<response_str ident=\"R\"><render_fib rows=\"3\"/></response_str>" ;;
        2) echo "<response_lid ident=\"R\"><render_choice/></response_lid>" ;;
        3) echo "<response_lid ident=\"R\" rcardinality=\"Multiple\"><render_choice/></response_lid>" ;;
        4) echo "<response_str ident=\"R\"><render_choice/></response_str>" ;;
      esac
      echo "</presentation></item>"
    done
    echo '</section></assessment></questestinterop>'
  } > "$xml"
  {
    echo '<!DOCTYPE html><html lang="uk"><head><meta charset="utf-8"><title>Швидкість</title></head><body>'
    echo '<form name="bench" action="bench.html" method="get">'
    for ((i = 1; i <= ITEMS; i++)); do
      kind=$((i % 5))
      echo "<p>Питання $i: "
      case $kind in
        0) echo "<input type=\"text\" name=\"I$i.R\">" ;;
        1) echo "<textarea name=\"I$i.R\"></textarea>" ;;
        2) for v in a b c d; do echo "<label><input type=\"radio\" name=\"I$i.R\" value=\"$v\">$v</label>"; done ;;
        3) for v in a b c d; do echo "<label><input type=\"checkbox\" name=\"I$i.R\" value=\"$v\">$v</label>"; done ;;
        4) echo "<select name=\"I$i.R\"><option value=\"\">—</option><option>один</option><option>два</option><option>три</option><option>чотири</option></select>" ;;
      esac
      echo "</p>"
    done
    # The candidate: answers every question differently each round, then goes on to the
    # page again (a new navigation with a submission), ROUNDS times, then to done.html.
    cat <<EOF
</form>
<script>
window.addEventListener('load', function () {
  var round = Number(new URLSearchParams(location.search).get('round') || 0);
  setTimeout(function () {
    var els = document.querySelectorAll('[name]');
    for (var k = 0; k < els.length; k++) {
      var e = els[k];
      if (e.type === 'text' || e.localName === 'textarea') e.value = 'Відповідь ' + round + '.' + k;
      else if (e.type === 'radio') e.checked = (k + round) % 4 === 0;
      else if (e.type === 'checkbox') e.checked = (k + round) % 2 === 0;
      else if (e.localName === 'select') e.selectedIndex = 1 + (k + round) % 4;
    }
    // One input event, as typing gives: the client takes a draft of the whole page.
    els[0].dispatchEvent(new Event('input', {bubbles: true}));
    setTimeout(function () {
      location.href = round + 1 < $ROUNDS ? 'bench.html?round=' + (round + 1) : 'done.html';
    }, 400);
  }, 150);
});
</script>
</body></html>
EOF
  } > "$html"
  cat > "$WORK/index.html" <<'EOF'
<!DOCTYPE html><html lang="uk"><head><meta charset="utf-8"><title>Швидкість</title></head>
<body onload="frames.form_frame.location.href = 'bench.html'">
<iframe name="form_frame" src="done.html" width="780" height="520"></iframe></body></html>
EOF
  echo '<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>Готово</body></html>' > "$WORK/done.html"
}

# ---- Runs ----
stats() { # label, numbers on stdin: median and maximum
  sort -n | awk -v label="$1" '{ v[NR] = $1 } END {
    if (NR == 0) { printf "  %-44s no samples\n", label; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "  %-44s median %7.1f ms   max %7.1f ms   (%d samples)\n", label, m, v[NR], NR }'
}

generate
echo "Generated assessment: $ITEMS items, $(grep -o 'name="I[0-9]*\.R"' "$WORK/bench.html" | wc -l) controls; $ROUNDS rounds per launch."
SPLIT=$WORK/split.txt FILLED=$WORK/filled.txt DECIDED=$WORK/decided.txt DRAFTED=$WORK/drafted.txt DRAFTTRIP=$WORK/drafttrip.txt
: > "$SPLIT"; : > "$FILLED"; : > "$DECIDED"; : > "$DRAFTED"; : > "$DRAFTTRIP"
for ((run = 1; run <= LAUNCHES; run++)); do
  dir=$WORK/run$run
  make_installation "$dir"
  log=$dir/log.txt
  start=$(date +%s%3N)
  VEDRIS_DRAFT_DELAY_MS=50 G_MESSAGES_DEBUG=Vedris "$dir/vedris" > "$log" 2>&1 &
  pid=$!
  # Done when every round was bound and done.html decided, or after 60 s.
  for ((t = 0; t < 600; t++)); do
    if [ "$(grep -c 'form filled' "$log" || true)" -ge "$ROUNDS" ] &&
       [ "$(grep -c 'with the submission' "$log" || true)" -ge "$ROUNDS" ]; then
      break
    fi
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  sleep 0.3
  kill "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  loaded=$(sed -n 's/.*start page loaded at \([0-9]*\) ms.*/\1/p' "$log" | head -1)
  if [ -z "$loaded" ]; then
    echo "Launch $run: the start page never loaded; log:" >&2
    cat "$log" >&2
    exit 1
  fi
  answers=$(grep -o 'response_status="Valid"' "$dir/Results/results.xml" | wc -l)
  echo "Launch $run: cold start $((loaded - start)) ms; results.xml holds $answers answers"
  sed -n 's/.*form filled \([0-9.]*\) ms after the load event.*/\1/p' "$log" >> "$FILLED"
  sed -n 's/.*form filled \([0-9.]*\) ms after the load event (\([0-9.]*\) ms after its report arrived: set-up \([0-9.]*\), snapshot \([0-9.]*\), results \([0-9.]*\), fill \([0-9.]*\) ms).*/\1 \2 \3 \4 \5 \6/p' "$log" >> "$SPLIT"
  sed -n 's/.*navigation allowed in \([0-9.]*\) ms with the submission.*/\1/p' "$log" >> "$DECIDED"
  sed -n 's/.*draft written in \([0-9.]*\) ms.*/\1/p' "$log" >> "$DRAFTED"
  sed -n 's/.*draft written in .* (\([0-9.]*\) ms after it was asked for).*/\1/p' "$log" >> "$DRAFTTRIP"
  if grep -q "Vedris-Message" "$log"; then
    echo "  reported errors:" >&2
    grep "Vedris-Message" "$log" >&2
  fi
done
echo "Page figures over all launches (aim: under 100 ms):"
stats "load event to form filled" < "$FILLED"
printf "  %-44s %d of %d\n" "filled by the page itself as it loaded" \
  "$(cat "$WORK"/run*/log.txt | grep -c 'the page filled itself as it loaded' || true)" "$(wc -l < "$FILLED")"
echo "  Bindings that wrote into the page:"
awk '{ print $1 }' "$SPLIT" | stats "load event to form filled"
awk '{ print $1 - $2 }' "$SPLIT" | stats "  of which the page's report"
awk '{ print $3 }' "$SPLIT" | stats "  set-up"
awk '{ print $4 }' "$SPLIT" | stats "  snapshot of the page's form"
awk '{ print $5 }' "$SPLIT" | stats "  results read into the form"
awk '{ print $6 }' "$SPLIT" | stats "  fill written into the page"
stats "navigation requested to decided (submission)" < "$DECIDED"
echo "Drafts (budget: 20 ms of the main thread):"
stats "draft serialised and written (main thread)" < "$DRAFTED"
stats "asked to written (page script included)" < "$DRAFTTRIP"
sort -n "$DRAFTED" | awk '{ v[NR] = $1 } END { if (NR) printf "  %-44s %.2f (target <= 1: %s)\n",
  "worst draft / 20 ms budget", v[NR] / 20, v[NR] <= 20 ? "met" : "MISSED" }'
