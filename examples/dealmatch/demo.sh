# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cp "$here/system_data.csv" "$here/customer_data.xlsx" "$here/match.json" "$DEMO_OUT/"
"$TORVANE" dealmatch -c match.json
echo "dealmatch: result workbook written to $DEMO_OUT/out/result.xlsx"
mkdir -p "$DEMO_OUT/european"
cp "$here/system_data_de.csv" "$here/customer_data_de.xlsx" "$here/match_european.json" "$DEMO_OUT/european/"
(cd "$DEMO_OUT/european" && "$TORVANE" dealmatch -c match_european.json)
echo "dealmatch: European export matched into $DEMO_OUT/european/out/result.xlsx"
