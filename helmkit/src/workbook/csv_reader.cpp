#include "helmkit/workbook/csv_reader.hpp"

#include <csv.h>

#include <string>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/utf8.hpp"
#include "helmkit/text/windows_1252.hpp"

namespace helmkit {

namespace {

// Owns a libcsv parser.
class CsvParser {
public:
    explicit CsvParser(unsigned char options) {
        if (csv_init(&m_parser, options) != 0) throw Error("cannot set up the CSV parser");
    }
    ~CsvParser() { csv_free(&m_parser); }
    CsvParser(const CsvParser&) = delete;
    CsvParser& operator=(const CsvParser&) = delete;

    csv_parser* get() { return &m_parser; }

private:
    csv_parser m_parser{};
};

struct ParseState {
    const std::function<void(std::uint32_t, std::uint32_t, std::string_view)>* visit;
    std::uint32_t record = 1;
    std::uint32_t field = 1;
    bool record_has_fields = false;
    bool ended_by_cr = false;
};

void on_field(void* text, std::size_t length, void* data) {
    auto& state = *static_cast<ParseState*>(data);
    if (length > 0) (*state.visit)(state.record, state.field, {static_cast<char*>(text), length});
    ++state.field;
    state.record_has_fields = true;
}

// Every line ending is reported, so that blank lines count as rows as they do in spreadsheet
// software; the LF of a CR LF pair ends nothing more.
void on_record_end(int ending, void* data) {
    auto& state = *static_cast<ParseState*>(data);
    if (ending == '\n' && state.ended_by_cr && !state.record_has_fields) {
        state.ended_by_cr = false;
        return;
    }
    state.ended_by_cr = ending == '\r';
    state.record_has_fields = false;
    ++state.record;
    state.field = 1;
}

// libcsv's parser state while a field is being read (its FIELD_BEGUN); with `quoted` set, the
// parser is inside quotes.
constexpr int k_field_begun = 2;

// Only the space is trimmed around unquoted fields: libcsv's default also takes the tab,
// which would swallow the delimiter of tab-separated files.
int is_blank(unsigned char c) { return c == ' '; }

char detect_delimiter(std::string_view text) {
    std::size_t commas = 0;
    std::size_t semicolons = 0;
    std::size_t tabs = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        commas += c == ',';
        semicolons += c == ';';
        tabs += c == '\t';
    }
    if (semicolons > commas && semicolons >= tabs) return ';';
    if (tabs > commas && tabs > semicolons) return '\t';
    return ',';
}

}  // namespace

CsvFormat for_each_csv_field(
    const std::filesystem::path& path,
    const std::function<void(std::uint32_t, std::uint32_t, std::string_view)>& visit) {
    std::string content = fileMg::read_file(path);
    CsvFormat format;
    std::string_view text = content;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    } else if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        throw Error("'" + path.string() + "' is UTF-16 text; save it as UTF-8 CSV");
    }
    std::string decoded;
    if (find_invalid_utf8(text) != std::string_view::npos) {
        decoded = windows_1252_to_utf8(text);
        text = decoded;
        format.windows_1252 = true;
    }
    format.delimiter = detect_delimiter(text);

    CsvParser parser(CSV_REPALL_NL);
    csv_set_delim(parser.get(), static_cast<unsigned char>(format.delimiter));
    csv_set_space_func(parser.get(), is_blank);
    ParseState state{&visit};
    if (csv_parse(parser.get(), text.data(), text.size(), on_field, on_record_end, &state) !=
        text.size()) {
        throw Error("cannot read '" + path.string() + "' as CSV: " +
                    csv_strerror(csv_error(parser.get())));
    }
    // libcsv outside strict mode would take the rest of the file as the last field.
    if (parser.get()->quoted != 0 && parser.get()->pstate == k_field_begun) {
        throw Error("'" + path.string() + "' ends inside a quoted field (a quote is missing)");
    }
    csv_fini(parser.get(), on_field, on_record_end, &state);
    return format;
}

}  // namespace helmkit
