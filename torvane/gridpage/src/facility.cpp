// Whether this build has PDF merging (qpdf found and TORVANE_PDF_MERGE on):
// the one file whose compilation the build option changes. Declared in command.hpp, which it
// does not include: it compiles in an instant in each configuration.
namespace torvane::gridpage {

extern const bool HAS_PDF_LIBS = GRIDPAGE_HAS_PDF_LIBS != 0;

}  // namespace torvane::gridpage
