// Whether this build has the PDF report (libharu, stb and zlib found and TORVANE_PDF_WRITE on):
// the one file whose compilation the build option changes. Declared in command.hpp, which it
// does not include: it compiles in an instant in each configuration.
namespace torvane::figdeck {

extern const bool HAS_PDF_LIBS = FIGDECK_HAS_PDF_LIBS != 0;

}  // namespace torvane::figdeck
