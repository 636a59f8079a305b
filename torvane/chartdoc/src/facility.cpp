// Whether this build has Markdown conversion (md4c found and TORVANE_MARKDOWN on):
// the one file whose compilation the build option changes. Declared in command.hpp, which it
// does not include: it compiles in an instant in each configuration.
namespace torvane::chartdoc {

extern const bool HAS_MD = CHARTDOC_HAS_MD != 0;

}  // namespace torvane::chartdoc
