# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set.
# The sample PDFs in pdfs/ were made by bench_gridpage --samples: a three-page portrait file
# with pictures, a landscape page, a page with /Rotate 90 and a page with a crop box.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cp -r "$here/merge.json" "$here/pdfs" "$DEMO_OUT/"
"$TORVANE" gridpage -c merge.json
echo "gridpage: 2 by 2 report with red cell frames written to $DEMO_OUT/pdfs/merged_report.pdf"
