#!/bin/bash
# Proof that the spreadsheet of `vedris-results export` opens in a real spreadsheet program
# with the cells meant: LibreOffice (headless) converts every sheet of the XLSX to CSV, and
# each results sheet is compared cell by cell with the tool's own CSV of the same database;
# the counts of each summary sheet are checked against the 0/1 columns of its results sheet.
# Run by hand (LibreOffice is too large for every CI run); as root it installs
# libreoffice-calc-nogui when it is missing.
#
#   scripts/check-xlsx-libreoffice.sh [DB [ASSESSMENTS_FOLDER]]
#
# Without DB a sample database is made from the demo questionnaire's idents: Cyrillic,
# quotes, a line break, answers that look like formulas, several values, unanswered items.
# VEDRIS_RESULTS names the program (default build/bin/vedris-results).
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${VEDRIS_RESULTS:-build/bin/vedris-results}
[ -x "$tool" ] || { echo "Немає $tool: спершу зберіть vedris-results." >&2; exit 2; }

for need in soffice:libreoffice-calc-nogui sqlite3:sqlite3 python3:python3; do
  if ! command -v "${need%%:*}" >/dev/null; then
    echo "Встановлюю ${need#*:}..."
    apt-get install -y -qq --no-install-recommends "${need#*:}" >/dev/null
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
db=${1:-}
assessments=${2:-demo/Assessments}
if [ -z "$db" ]; then
  db=$work/sample.db
  # The schema as the tool's tests use it, then answers that are hard for a spreadsheet.
  sed -n '/R"sql(/,/)sql"/p' tools/results/export/Schema.h | sed '1d;$d' | sqlite3 "$db" >/dev/null
  sqlite3 "$db" <<'SQL'
INSERT INTO source VALUES (1, '/zbir', 'folder', 'Школа №5', '2024-06-01T09:00:00');
INSERT INTO file VALUES (1, 1, '/zbir/a/results.xml', '', '', '', 'Школа №5|/zbir/a', 'a');
INSERT INTO file VALUES (2, 1, 'poshta.mbox#3: results.xml', 'vchytel@example.org',
  '2024-05-02T12:00:00', 'Анкети', 'vchytel@example.org', 'b');
INSERT INTO result VALUES (1, 1, 'SHKOLA-ANKETA-01', '2024-05-01T10:00:00', 0);
INSERT INTO result VALUES (2, 2, 'SHKOLA-ANKETA-01', '2024-05-02T11:30:00', 0);
INSERT INTO result VALUES (3, 2, 'VIDHUK', '', 0);
INSERT INTO response VALUES (1, 1, 'Q01', 'KLAS', 0, 'Valid'), (2, 1, 'Q02', 'IMIA', 1, 'Valid'),
  (3, 1, 'Q03', 'PREDMETY', 2, 'Valid'), (4, 1, 'Q07', 'PROPOZYTSII', 3, 'Valid'),
  (5, 2, 'Q01', 'KLAS', 0, 'Valid'), (6, 2, 'Q02', 'IMIA', 1, 'Valid'),
  (7, 2, 'Q03', 'PREDMETY', 2, 'NA'), (8, 2, 'Q07', 'PROPOZYTSII', 3, 'Valid'),
  (9, 3, 'V1', 'DUMKA', 0, 'Valid');
INSERT INTO response_value VALUES (1, 0, '7'), (2, 0, '=HYPERLINK("http://x";"клік")'),
  (3, 0, 'matematyka'), (3, 1, 'istoriia'), (4, 0, 'Більше гуртків;
і «довша» перерва'), (5, 0, '9'), (6, 0, 'Олена "Зірка"'), (8, 0, '-1'),
  (9, 0, '+380 44 000 00 00'), (9, 0, '@всім'), (9, 0, 'код _x0041_ як є');
SQL
fi

"$tool" export "$db" --xlsx "$work/t.xlsx" --csv "$work/csv" --assessments "$assessments"
# 59 ";", 34 '"', 76 UTF-8; cells as shown; -1: every sheet to a file of its own.
soffice --headless --norestore \
  --convert-to 'csv:Text - txt - csv (StarCalc):59,34,76,1,,0,true,true,true,false,false,-1' \
  --outdir "$work/lo" "$work/t.xlsx" >/dev/null 2>&1
# The CSV files opened as LibreOffice opens them by default (";", UTF-8): none of their
# cells may become a formula, whatever the answers hold.
soffice --headless --norestore --infilter='CSV:59,34,76,1' --convert-to xlsx \
  --outdir "$work/csv-opened" "$work"/csv/*.csv >/dev/null 2>&1

python3 - "$work" <<'PY'
import csv, glob, os, re, sys, zipfile
work = sys.argv[1]
book = zipfile.ZipFile(os.path.join(work, "t.xlsx")).read("xl/workbook.xml").decode()
sheets = [s.replace("&amp;", "&").replace("&quot;", '"').replace("&apos;", "'")
          for s in re.findall(r'<sheet name="([^"]*)"', book)]

def rows(path, ours=False):
    with open(path, encoding="utf-8-sig", newline="") as f:
        out = []
        for row in csv.reader(f, delimiter=";"):
            if ours:  # the guard against formulas is a leading apostrophe
                row = [c[1:] if c[:1] == "'" and c[1:2] in "=+-@\t\r" and c[1:] else c for c in row]
                row = [re.sub(r"^(\d{4}-\d\d-\d\d)T", r"\1 ", c) for c in row]
            while row and row[-1] == "":
                row.pop()
            out.append(row)
        return out

failed = 0
for i in range(0, len(sheets) - 1, 2):
    sheet, summary = (rows(os.path.join(work, "lo", "t-%s.csv" % s)) for s in sheets[i:i + 2])
    ident = summary[0][2]
    ours = rows(os.path.join(work, "csv", ident + ".csv"), ours=True)
    cells = sum(len(r) for r in ours)
    diff = [(r, c, ours[r][c] if c < len(ours[r]) else None, sheet[r][c] if c < len(sheet[r]) else None)
            for r in range(max(len(ours), len(sheet)))
            for c in range(max(len(ours[r]) if r < len(ours) else 0, len(sheet[r]) if r < len(sheet) else 0))
            if (ours[r][c] if r < len(ours) and c < len(ours[r]) else None)
            != (sheet[r][c] if r < len(sheet) and c < len(sheet[r]) else None)]
    # Summary counts of choices against the 0/1 columns of the results sheet.
    head = sheet[0]
    checked = 0
    for row in summary[4:]:
        if len(row) < 5 or row[2] in ("", "NA"):
            continue
        name = "%s [%s]: %s" % (row[0], row[1], row[3])
        if name in head:
            col = head.index(name)
            ones = sum(1 for r in sheet[1:] if col < len(r) and r[col] == "1")
            checked += 1
            if str(ones) != row[4]:
                diff.append(("summary", name, row[4], ones))
    print("%-28s %-22s cells %4d, summary counts %3d: %s" % (
        sheets[i], ident, cells, checked, "the same" if not diff else "DIFFERENT"))
    for d in diff[:10]:
        print("   ", d)
    failed += bool(diff)
for opened in sorted(glob.glob(os.path.join(work, "csv-opened", "*.xlsx"))):
    formulas = zipfile.ZipFile(opened).read("xl/worksheets/sheet1.xml").count(b"<f")
    print("%-51s CSV opened: %d formulas" % (os.path.basename(opened)[:-5] + ".csv", formulas))
    failed += formulas > 0
print("LibreOffice %s every cell of %d sheets." % ("reads" if not failed else "does NOT read", len(sheets)))
sys.exit(1 if failed else 0)
PY
