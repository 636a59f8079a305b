# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set.
# A lab report of two groups over the sample images: four PNG plots and two JPEG photos.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cp -r "$here/data_figdeck" "$here/report.json" .
"$TORVANE" figdeck --generate-config
"$TORVANE" figdeck -c report.json
echo "figdeck: template written to $DEMO_OUT/config_figdeck_template.json"
echo "figdeck: report written to $DEMO_OUT/data_figdeck/test.pdf"
