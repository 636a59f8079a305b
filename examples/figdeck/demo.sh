# Run by scripts/demo.sh inside $DEMO_OUT with $TORVANE set.
set -euo pipefail
"$TORVANE" figdeck --generate-config
echo "figdeck: template written to $DEMO_OUT/config_figdeck_template.json"
