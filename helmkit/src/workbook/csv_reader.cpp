#include "helmkit/workbook/csv_reader.hpp"

#include <csv.h>

#include <algorithm>
#include <string>

#include "helmkit/base/error.hpp"
#include "helmkit/files/read_chunks.hpp"
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

// Counts the candidate delimiters of the first line outside quotes, chunk by chunk.
class DelimiterCount {
public:
    void add(std::string_view text) {
        for (const char c : text) {
            if (m_line_ended) return;
            if (c == '"') m_quoted = !m_quoted;
            if (m_quoted) continue;
            if (c == '\n' || c == '\r') {
                m_line_ended = true;
                return;
            }
            m_commas += c == ',';
            m_semicolons += c == ';';
            m_tabs += c == '\t';
        }
    }

    char delimiter() const {
        if (m_semicolons > m_commas && m_semicolons >= m_tabs) return ';';
        if (m_tabs > m_commas && m_tabs > m_semicolons) return '\t';
        return ',';
    }

private:
    bool m_quoted = false;
    bool m_line_ended = false;
    std::size_t m_commas = 0;
    std::size_t m_semicolons = 0;
    std::size_t m_tabs = 0;
};

// Where the last UTF-8 sequence of `text` starts when the chunk may have cut it off: the
// bytes from there are checked with the next chunk.
std::size_t incomplete_tail(std::string_view text) {
    const std::size_t last = text.size();
    for (std::size_t back = 1; back <= 3 && back <= last; ++back) {
        const auto c = static_cast<unsigned char>(text[last - back]);
        if ((c & 0xC0) == 0x80) continue;
        const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? last - back : last;
    }
    return last;
}

// What a first pass over the file finds: how it starts, whether it is UTF-8 and its delimiter.
// Decoding Windows-1252 changes no ASCII byte, so the delimiter is counted on the raw bytes.
struct FirstPass {
    bool bom = false;
    bool utf8 = true;
    char delimiter = ',';
    // Line feeds or carriage returns, whichever the file holds more of.
    std::size_t line_breaks = 0;
};

// Checks UTF-8 chunk by chunk without copying the chunks: only the bytes of a sequence that a
// chunk boundary cuts are kept until the next chunk completes it.
class Utf8Check {
public:
    void add(std::string_view text) {
        if (!m_valid) return;
        if (!m_cut.empty()) {
            const auto lead = static_cast<unsigned char>(m_cut.front());
            const std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            const std::size_t take = std::min(needed - m_cut.size(), text.size());
            m_cut.append(text.substr(0, take));
            text.remove_prefix(take);
            if (m_cut.size() < needed) return;
            m_valid = find_invalid_utf8(m_cut) == std::string_view::npos;
            m_cut.clear();
        }
        const std::size_t complete = incomplete_tail(text);
        if (find_invalid_utf8(text.substr(0, complete)) != std::string_view::npos) m_valid = false;
        m_cut.assign(text.substr(complete));
    }

    // Whether everything added is UTF-8, the end of the file included.
    bool valid_at_end() const { return m_valid && m_cut.empty(); }

private:
    bool m_valid = true;
    std::string m_cut;
};

FirstPass scan(const std::filesystem::path& path) {
    FirstPass found;
    const auto refuse_utf16 = [&](std::string_view text) {
        if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
            throw Error("'" + path.string() + "' is UTF-16 text; save it as UTF-8 CSV");
        }
    };
    ReadableFile file(path);
    std::string head;
    bool started = false;
    DelimiterCount delimiters;
    Utf8Check utf8;
    std::size_t feeds = 0;
    std::size_t returns = 0;
    const auto add = [&](std::string_view chunk) {
        delimiters.add(chunk);
        feeds += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n'));
        returns += static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\r'));
        utf8.add(chunk);
    };
    file.read_chunks([&](std::string_view chunk) {
        if (!started) {
            // The byte-order marks are looked for in the first three bytes, wherever reads end.
            head.append(chunk);
            if (head.size() < 3) return;
            started = true;
            chunk = head;
            if (chunk.starts_with("\xEF\xBB\xBF")) {
                found.bom = true;
                chunk.remove_prefix(3);
            } else {
                refuse_utf16(chunk);
            }
        }
        add(chunk);
    });
    if (!started) {
        refuse_utf16(head);
        add(head);
    }
    found.utf8 = utf8.valid_at_end();
    found.delimiter = delimiters.delimiter();
    found.line_breaks = std::max(feeds, returns);
    return found;
}

}  // namespace

CsvFormat for_each_csv_field(
    const std::filesystem::path& path,
    const std::function<void(std::uint32_t, std::uint32_t, std::string_view)>& visit,
    const std::function<void(std::size_t)>& before_fields) {
    // Two passes over the file in chunks, so that memory does not grow with it: the first
    // decides the encoding (one byte that is not UTF-8 anywhere makes it Windows-1252) and the
    // delimiter, the second parses.
    const FirstPass found = scan(path);
    CsvFormat format;
    format.windows_1252 = !found.utf8;
    format.delimiter = found.delimiter;
    if (before_fields) before_fields(found.line_breaks);

    CsvParser parser(CSV_REPALL_NL);
    csv_set_delim(parser.get(), static_cast<unsigned char>(format.delimiter));
    csv_set_space_func(parser.get(), is_blank);
    ParseState state{&visit};
    std::size_t skip = found.bom ? 3 : 0;
    std::string decoded;
    ReadableFile file(path);
    file.read_chunks([&](std::string_view chunk) {
        const std::size_t skipped = std::min(skip, chunk.size());
        chunk.remove_prefix(skipped);
        skip -= skipped;
        if (format.windows_1252) {
            decoded = windows_1252_to_utf8(chunk);
            chunk = decoded;
        }
        if (csv_parse(parser.get(), chunk.data(), chunk.size(), on_field, on_record_end, &state) !=
            chunk.size()) {
            throw Error("cannot read '" + path.string() + "' as CSV: " +
                        csv_strerror(csv_error(parser.get())));
        }
    });
    // libcsv outside strict mode would take the rest of the file as the last field.
    if (parser.get()->quoted != 0 && parser.get()->pstate == k_field_begun) {
        throw Error("'" + path.string() + "' ends inside a quoted field (a quote is missing)");
    }
    csv_fini(parser.get(), on_field, on_record_end, &state);
    return format;
}

}  // namespace helmkit
