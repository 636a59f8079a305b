# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cp -r "$here/data_claimsort" "$DEMO_OUT/"
cat > expense_dry.json <<'JSON'
{"config": {"path": "./data_claimsort", "dry_run": true}}
JSON
"$TORVANE" claimsort --generate-config
echo "claimsort: dry run (nothing is moved)"
"$TORVANE" claimsort -c expense_dry.json
echo "claimsort: real run with the template's settings"
"$TORVANE" claimsort -c config_expense_template.json
echo "claimsort: renamed workbooks in $DEMO_OUT/data_claimsort/results, backups in $DEMO_OUT/data_claimsort/backup"
echo "claimsort: claim_04.xlsx (empty name cell) stays in $DEMO_OUT/data_claimsort"
