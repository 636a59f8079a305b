# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set and the Mermaid renderer on PATH.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cp -r "$here/site.json" "$here/docs" "$DEMO_OUT/"
"$TORVANE" chartdoc -c site.json
echo "chartdoc: site written to $DEMO_OUT/docs/html_out/index.html"
