#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace torvane::figdeck {

// Where the current position goes after a cell: to its right edge on the same line, to the
// left margin of the next line, or below the cell at the same x.
enum class Ln { right, next_line, below };

enum class Align { left, center, right };

// The blank between a cell's edges and its text, which wrapped text keeps on both sides.
inline constexpr double k_cell_margin = 1;

struct CellOptions {
    Ln ln = Ln::right;
    Align align = Align::left;
    int link = 0;  // 0: no link; otherwise an id from add_link
};

// A PDF document drawn page by page on A4 portrait sheets: lengths in millimetres from the
// top-left corner (y grows downwards), font sizes in points, a current position, font and
// colours, internal links whose targets may be set after use, and a header hook.
// Text is UTF-8; text that Helvetica cannot show is drawn in DejaVu Sans, and a character
// that no font has is drawn as "?" with one warning. Text never throws; a line longer than
// k_max_text_bytes is left out with a warning.
class PageModel {
public:
    // The longest text, in bytes, that one line drawn or one bookmark title can hold.
    static constexpr std::size_t k_max_text_bytes = 65535;
    // Returns the bytes the PDF needs for `title` as a bookmark: UTF-16 beyond ASCII.
    static std::size_t bookmark_bytes(std::string_view title);

    PageModel();
    virtual ~PageModel();
    PageModel(const PageModel&) = delete;
    PageModel& operator=(const PageModel&) = delete;

    // Called at the start of every page, after the position was set to the top-left margins.
    virtual void header() {}

    // With `on` true, a cell that would end below the page height minus `margin` first starts
    // a new page; off, only add_page starts one.
    void set_auto_page_break(bool on, double margin = 20);
    void set_margins(double left, double top, double right);
    // Starts the next page at (left margin, top margin) and calls header(); the font and
    // colours in use before are in use again afterwards.
    void add_page();
    // Returns the current page number: 0 before the first page.
    int page_no() const;

    // Sets the font: `family` "helvetica" (any case), `style` of the letters "B" (bold),
    // "I" (italic) and "U" (underlined), `size` in points. Throws helmkit::Error otherwise.
    void set_font(std::string_view family, std::string_view style, double size);
    void set_text_color(int grey);
    void set_text_color(int red, int green, int blue);
    void set_draw_color(int grey);
    void set_draw_color(int red, int green, int blue);

    // Draws one line of `text` in a box of `w` by `h` at the current position (width 0
    // reaches the right margin), vertically centred, then moves the position as `options.ln`
    // says. With a link id the box becomes a link.
    void cell(double w, double h, std::string_view text, CellOptions options = {});
    // Returns the width in mm of `text` (UTF-8) in the current font, as cell() draws it.
    double string_width(std::string_view text);
    // Draws `text` wrapped to the width `w` (0: to the right margin), one line per `h`,
    // breaking at blanks and line feeds (inside a word only when it is wider than the box).
    // Afterwards the position is at the left margin just below the last line.
    void multi_cell(double w, double h, std::string_view text, Align align = Align::left);
    // Draws the PNG, JPEG or BMP file at `path` scaled to the box; the position is unchanged.
    // A file drawn several times is embedded once. Throws helmkit::Error naming the file
    // when it cannot be read or embedded.
    void image(const std::filesystem::path& path, double x, double y, double w, double h);
    void line(double x1, double y1, double x2, double y2);

    void set_xy(double x, double y);
    void set_x(double x);
    // Sets y and moves x back to the left margin.
    void set_y(double y);
    double get_x() const;
    double get_y() const;
    // Moves x back to the left margin and y down by `h`.
    void ln(double h);

    // Returns a new link id without a target.
    int add_link();
    // Sets the target of `link` to the point `y` of page `page` (-1: the current page).
    // Throws helmkit::Error for an unknown link or page.
    void set_link(int link, double y, int page = -1);

    // Adds an outline entry (a bookmark in a viewer's sidebar) called `title` that leads where
    // `link` leads. Entries are written in the order they were added when the document is
    // saved; one whose link has no target by then is left out. Throws helmkit::Error for an
    // unknown link or a title of more than k_max_text_bytes bookmark bytes.
    void add_bookmark(std::string title, int link);

    // Writes the document to `path` atomically: a temporary file beside it, then a rename.
    // Links without a target are left out. Throws helmkit::Error when it cannot be written.
    void output(const std::filesystem::path& path);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace torvane::figdeck
