#include "torvane/chartdoc/markdown_html.hpp"

#include <md4c-html.h>
#include <md4c.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"

namespace torvane::chartdoc {

namespace {

constexpr std::string_view k_replacement_character = "\xef\xbf\xbd";
constexpr std::string_view k_byte_order_mark = "\xef\xbb\xbf";

// Bytes that need escaping in text and in attributes ('"', '&', '<', '>'), and bytes that
// need escaping in a link destination (all but letters, digits and the marks below, which
// keep a destination's own %XX as they are).
struct EscapeMap {
    std::array<bool, 256> html{};
    std::array<bool, 256> url{};

    EscapeMap() {
        for (int i = 0; i < 256; ++i) {
            const char c = static_cast<char>(i);
            html[i] = std::string_view("\"&<>").find(c) != std::string_view::npos;
            const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                               (c >= 'a' && c <= 'z');
            url[i] = !alnum && std::string_view("~-_.+!*(),%#@?=;:/$").find(c) ==
                                   std::string_view::npos;
        }
    }
};

const EscapeMap k_escape;

// Room for the heading ids of most pages, so that their set does not grow step by step.
constexpr std::size_t k_ids_reserved = 64;

// Where the first byte from `from` on that may need escaping in text lies, or up to 15 bytes
// before it: text is mostly free of those bytes, so it is passed 16 bytes at a time.
std::size_t past_plain_blocks(std::string_view text, std::size_t from) {
    using Block = unsigned char __attribute__((vector_size(16)));
    while (text.size() - from >= sizeof(Block)) {
        Block block;
        std::memcpy(&block, text.data() + from, sizeof block);
        const auto hits = (block == '"') | (block == '&') | (block == '<') | (block == '>');
        std::uint64_t halves[2];
        std::memcpy(halves, &hits, sizeof halves);
        if ((halves[0] | halves[1]) != 0) break;
        from += sizeof(Block);
    }
    return from;
}

// Punctuation and symbols of the blocks headings meet most (Latin-1, general punctuation,
// currency, arrows, CJK and full-width punctuation); letters of every script stay.
bool is_unicode_punctuation(char32_t code) {
    return (code >= 0x00a1 && code <= 0x00bf && code != 0x00aa && code != 0x00b5 &&
            code != 0x00ba) ||
           code == 0x00d7 || code == 0x00f7 || (code >= 0x2010 && code <= 0x206f) ||
           (code >= 0x20a0 && code <= 0x20cf) || (code >= 0x2190 && code <= 0x21ff) ||
           (code >= 0x2500 && code <= 0x27bf) || (code >= 0x3001 && code <= 0x303f) ||
           (code >= 0xff01 && code <= 0xff0f) || (code >= 0xff1a && code <= 0xff20) ||
           code == 0xfffd || code >= 0x1f000;
}

// Lower case for the Latin-1, Latin Extended-A, Greek and Cyrillic capitals.
char32_t lower_case(char32_t code) {
    if ((code >= 0x00c0 && code <= 0x00de && code != 0x00d7) ||
        (code >= 0x0391 && code <= 0x03ab && code != 0x03a2) ||
        (code >= 0x0410 && code <= 0x042f)) {
        return code + 0x20;
    }
    if (code >= 0x0400 && code <= 0x040f) return code + 0x50;
    if (code >= 0x0100 && code <= 0x017f && code != 0x0130 && code != 0x0138 && code != 0x0149 &&
        code != 0x017f) {
        const bool odd_is_lower = (code >= 0x0139 && code <= 0x0148) || code >= 0x0179;
        const bool lower = odd_is_lower ? (code % 2 == 0) : (code % 2 == 1);
        if (!lower) return code + 1;
    }
    return code;
}

void append_to_string(const MD_CHAR* text, MD_SIZE size, void* userdata) {
    static_cast<std::string*>(userdata)->append(text, size);
}

// The text an entity stands for, as md4c-html itself decodes it: the entity is rendered on its
// own, which gives "<p>" + the escaped text + "</p>\n", and the escaping is undone.
std::string decode_entity(std::string_view entity) {
    std::string html;
    md_html(entity.data(), static_cast<MD_SIZE>(entity.size()), append_to_string, &html, 0, 0);
    constexpr std::string_view open = "<p>";
    constexpr std::string_view close = "</p>\n";
    std::string_view inner = html;
    if (inner.size() < open.size() + close.size() || inner.substr(0, open.size()) != open ||
        inner.substr(inner.size() - close.size()) != close) {
        return std::string(entity);
    }
    inner = inner.substr(open.size(), inner.size() - open.size() - close.size());
    std::string text;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '&') {
            bool replaced = false;
            for (const auto& [escaped, plain] :
                 {std::pair{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}}) {
                const std::string_view name = escaped;
                if (inner.substr(i, name.size()) == name) {
                    text += plain;
                    i += name.size() - 1;
                    replaced = true;
                    break;
                }
            }
            if (replaced) continue;
        }
        text += inner[i];
    }
    return text;
}

// Turns md4c's parse events into HTML, the way md4c-html does, written as it goes.
class Renderer {
public:
    Renderer(PageOutput& out, const SiteLinks& links, const MarkdownOptions& options)
        : m_out(out), m_links(links), m_options(options) {}

    // Parses `markdown`; rethrows what the output threw. Throws helmkit::Error when the parser
    // fails.
    void render(std::string_view markdown) {
        MD_PARSER parser{};
        parser.flags = MD_FLAG_TABLES;
        if (m_options.rich) parser.flags |= MD_FLAG_STRIKETHROUGH | MD_FLAG_PERMISSIVEAUTOLINKS;
        parser.enter_block = &Renderer::enter_block;
        parser.leave_block = &Renderer::leave_block;
        parser.enter_span = &Renderer::enter_span;
        parser.leave_span = &Renderer::leave_span;
        parser.text = &Renderer::text;
        const int failed =
            md_parse(markdown.data(), static_cast<MD_SIZE>(markdown.size()), &parser, this);
        if (m_error) std::rethrow_exception(m_error);
        if (failed != 0) throw helmkit::Error("the Markdown parser failed (out of memory)");
    }

private:
    // A callback must not let an exception into the C parser: it is kept, and a non-zero
    // result makes md_parse stop at once.
    template <typename Step>
    static int guarded(void* userdata, Step step) {
        auto& self = *static_cast<Renderer*>(userdata);
        try {
            step(self);
            return 0;
        } catch (...) {
            self.m_error = std::current_exception();
            return 1;
        }
    }

    static int enter_block(MD_BLOCKTYPE type, void* detail, void* userdata) {
        return guarded(userdata, [&](Renderer& self) { self.open_block(type, detail); });
    }
    static int leave_block(MD_BLOCKTYPE type, void* detail, void* userdata) {
        return guarded(userdata, [&](Renderer& self) { self.close_block(type, detail); });
    }
    static int enter_span(MD_SPANTYPE type, void* detail, void* userdata) {
        return guarded(userdata, [&](Renderer& self) { self.open_span(type, detail); });
    }
    static int leave_span(MD_SPANTYPE type, void* detail, void* userdata) {
        return guarded(userdata, [&](Renderer& self) { self.close_span(type, detail); });
    }
    static int text(MD_TEXTTYPE type, const MD_CHAR* text, MD_SIZE size, void* userdata) {
        return guarded(userdata,
                       [&](Renderer& self) { self.put_text(type, std::string_view(text, size)); });
    }

    // A heading or a mermaid block is held back until its end, where its id or its diagram is
    // known; what is held counts towards the page's limit. Every piece of the page passes
    // here: left to itself, GCC calls this rather than copy the piece in place, which costs a
    // twentieth of the conversion.
    [[gnu::always_inline]] void write(std::string_view text) {
        if (m_holding) {
            write_held(text);
        } else {
            m_out.write(text);
        }
    }
    void write_held(std::string_view text) {
        m_held.append(text);
        if (m_out.size() + m_held.size() > k_page_limit) {
            throw helmkit::Error(page_limit_message(k_page_limit));
        }
    }
    void hold() {
        m_holding = true;
        m_held.clear();
    }
    // Ends holding back: what was held stays in m_held, to be written after what goes before.
    void stop_holding() { m_holding = false; }

    void verbatim(std::string_view text) { write(text); }

    // Writes `text` with the bytes that need it escaped: as %XX in a link destination (`&` as
    // &amp;, which HTML needs there), as entities elsewhere.
    template <bool k_url>
    void escaped(std::string_view text) {
        const auto& needs = k_url ? k_escape.url : k_escape.html;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if constexpr (!k_url) {
                i = past_plain_blocks(text, i);
                if (i == text.size()) break;
            }
            const auto byte = static_cast<unsigned char>(text[i]);
            if (!needs[byte]) continue;
            if (i > start) write(text.substr(start, i - start));
            start = i + 1;
            if (k_url && text[i] != '&') {
                static constexpr char k_hex[] = "0123456789ABCDEF";
                const char code[3] = {'%', k_hex[byte >> 4], k_hex[byte & 0xf]};
                write(std::string_view(code, 3));
                continue;
            }
            switch (text[i]) {
                case '&': write("&amp;"); break;
                case '<': write("&lt;"); break;
                case '>': write("&gt;"); break;
                default: write("&quot;"); break;
            }
        }
        if (start < text.size()) write(text.substr(start));
    }
    void html_escaped(std::string_view text) { escaped<false>(text); }
    void url_escaped(std::string_view text) { escaped<true>(text); }

    const std::string& entity_text(std::string_view entity) {
        const auto found = m_entities.find(std::string(entity));
        if (found != m_entities.end()) return found->second;
        return m_entities.emplace(std::string(entity), decode_entity(entity)).first->second;
    }

    template <typename Append>
    void attribute(const MD_ATTRIBUTE& attr, Append append) {
        for (int i = 0; attr.substr_offsets[i] < attr.size; ++i) {
            const std::string_view part(attr.text + attr.substr_offsets[i],
                                        attr.substr_offsets[i + 1] - attr.substr_offsets[i]);
            switch (attr.substr_types[i]) {
                case MD_TEXT_NULLCHAR: verbatim(k_replacement_character); break;
                case MD_TEXT_ENTITY: append(entity_text(part)); break;
                default: append(part); break;
            }
        }
    }

    // The attribute as the browser reads it: entities decoded, NUL as U+FFFD.
    std::string decoded(const MD_ATTRIBUTE& attr) {
        std::string text;
        for (int i = 0; attr.substr_offsets[i] < attr.size; ++i) {
            const std::string_view part(attr.text + attr.substr_offsets[i],
                                        attr.substr_offsets[i + 1] - attr.substr_offsets[i]);
            switch (attr.substr_types[i]) {
                case MD_TEXT_NULLCHAR: text += k_replacement_character; break;
                case MD_TEXT_ENTITY: text += entity_text(part); break;
                default: text += part; break;
            }
        }
        return text;
    }

    void open_block(MD_BLOCKTYPE type, void* detail) {
        switch (type) {
            case MD_BLOCK_QUOTE: verbatim("<blockquote>\n"); break;
            case MD_BLOCK_UL: verbatim("<ul>\n"); break;
            case MD_BLOCK_OL: {
                const unsigned start = static_cast<MD_BLOCK_OL_DETAIL*>(detail)->start;
                if (start == 1) {
                    verbatim("<ol>\n");
                } else {
                    verbatim("<ol start=\"" + std::to_string(start) + "\">\n");
                }
                break;
            }
            case MD_BLOCK_LI: verbatim("<li>"); break;
            case MD_BLOCK_HR: verbatim("<hr>\n"); break;
            case MD_BLOCK_H: {
                if (m_options.rich) {
                    m_heading_text.clear();
                    m_in_heading = true;
                    hold();
                    break;
                }
                const char level = static_cast<char>('0' + heading_level(detail));
                const char tag[4] = {'<', 'h', level, '>'};
                verbatim(std::string_view(tag, 4));
                break;
            }
            case MD_BLOCK_CODE: {
                const auto& code = *static_cast<MD_BLOCK_CODE_DETAIL*>(detail);
                if (m_options.diagram && is_mermaid_fence(code)) {
                    m_fence_has_text = false;
                    m_in_fence = true;
                    hold();
                }
                verbatim("<pre><code");
                if (code.lang.text != nullptr) {
                    verbatim(" class=\"language-");
                    attribute(code.lang, [this](std::string_view s) { html_escaped(s); });
                    verbatim("\"");
                }
                verbatim(">");
                break;
            }
            case MD_BLOCK_P: verbatim("<p>"); break;
            case MD_BLOCK_TABLE: verbatim("<table>\n"); break;
            case MD_BLOCK_THEAD: verbatim("<thead>\n"); break;
            case MD_BLOCK_TBODY: verbatim("<tbody>\n"); break;
            case MD_BLOCK_TR: verbatim("<tr>\n"); break;
            case MD_BLOCK_TH: open_cell("<th", detail); break;
            case MD_BLOCK_TD: open_cell("<td", detail); break;
            default: break;
        }
    }

    void close_block(MD_BLOCKTYPE type, void* detail) {
        switch (type) {
            case MD_BLOCK_QUOTE: verbatim("</blockquote>\n"); break;
            case MD_BLOCK_UL: verbatim("</ul>\n"); break;
            case MD_BLOCK_OL: verbatim("</ol>\n"); break;
            case MD_BLOCK_LI: verbatim("</li>\n"); break;
            case MD_BLOCK_H: {
                const char level = static_cast<char>('0' + heading_level(detail));
                if (m_in_heading) close_heading(level);
                const char tag[6] = {'<', '/', 'h', level, '>', '\n'};
                verbatim(std::string_view(tag, 6));
                break;
            }
            case MD_BLOCK_CODE:
                verbatim("</code></pre>\n");
                if (m_in_fence) close_fence();
                break;
            case MD_BLOCK_P: verbatim("</p>\n"); break;
            case MD_BLOCK_TABLE: verbatim("</table>\n"); break;
            case MD_BLOCK_THEAD: verbatim("</thead>\n"); break;
            case MD_BLOCK_TBODY: verbatim("</tbody>\n"); break;
            case MD_BLOCK_TR: verbatim("</tr>\n"); break;
            case MD_BLOCK_TH: verbatim("</th>\n"); break;
            case MD_BLOCK_TD: verbatim("</td>\n"); break;
            default: break;
        }
    }

    static unsigned heading_level(void* detail) {
        return static_cast<MD_BLOCK_H_DETAIL*>(detail)->level;
    }

    bool is_mermaid_fence(const MD_BLOCK_CODE_DETAIL& code) {
        return code.fence_char != 0 && code.lang.text != nullptr &&
               std::string_view(code.lang.text, code.lang.size) == "mermaid";
    }

    void close_heading(char level) {
        m_in_heading = false;
        stop_holding();
        std::string id = heading_slug(m_heading_text);
        if (m_ids.empty()) m_ids.reserve(k_ids_reserved);
        if (!m_ids.insert(id).second) {
            const std::string base = id;
            std::size_t& repeat = m_repeats[base];
            do {
                id = base + "-" + std::to_string(++repeat);
            } while (!m_ids.insert(id).second);
        }
        const char tag[3] = {'<', 'h', level};
        verbatim(std::string_view(tag, 3));
        verbatim(" id=\"");
        html_escaped(id);
        verbatim("\">");
        verbatim(m_held);
        if (m_options.anchors != nullptr) m_options.anchors->ids.push_back(std::move(id));
    }

    void close_fence() {
        m_in_fence = false;
        stop_holding();
        const std::size_t n = m_fences++;
        std::optional<std::string> svg;
        if (m_fence_has_text) svg = m_options.diagram(n);
        if (svg) {
            verbatim("<div class=\"diagram\">");
            verbatim(*svg);
            verbatim("</div>\n");
        } else {
            verbatim(m_held);
        }
    }

    // id="..." and name="..." in raw HTML, which links may point at as they point at headings.
    void note_html_anchors(std::string_view html) {
        for (const std::string_view attribute : {" id=\"", " name=\"", " id='", " name='"}) {
            for (std::size_t at = html.find(attribute); at != std::string_view::npos;
                 at = html.find(attribute, at + 1)) {
                const std::size_t start = at + attribute.size();
                const std::size_t end = html.find(attribute.back(), start);
                if (end == std::string_view::npos) break;
                m_options.anchors->ids.emplace_back(html.substr(start, end - start));
            }
        }
    }

    // The page's style sheet sets every cell's text-align, which beats an align attribute; a
    // style attribute beats the style sheet.
    void open_cell(std::string_view tag, void* detail) {
        verbatim(tag);
        const char* align = nullptr;
        switch (static_cast<MD_BLOCK_TD_DETAIL*>(detail)->align) {
            case MD_ALIGN_LEFT: align = "left"; break;
            case MD_ALIGN_CENTER: align = "center"; break;
            case MD_ALIGN_RIGHT: align = "right"; break;
            default: break;
        }
        if (align == nullptr) {
            verbatim(">");
            return;
        }
        verbatim(" align=\"");
        verbatim(align);
        if (m_options.rich) {
            verbatim("\" style=\"text-align: ");
            verbatim(align);
        }
        verbatim("\">");
    }

    // Inside an image's description only plain text is kept: it becomes the alt attribute.
    // As in md4c-html, the first image end met there closes the outer image.
    void open_span(MD_SPANTYPE type, void* detail) {
        if (m_image_depth > 0) return;
        switch (type) {
            case MD_SPAN_EM: verbatim("<em>"); break;
            case MD_SPAN_STRONG: verbatim("<strong>"); break;
            case MD_SPAN_CODE: verbatim("<code>"); break;
            case MD_SPAN_DEL: verbatim("<del>"); break;
            case MD_SPAN_A: open_link(*static_cast<MD_SPAN_A_DETAIL*>(detail)); break;
            case MD_SPAN_IMG: {
                verbatim("<img src=\"");
                attribute(static_cast<MD_SPAN_IMG_DETAIL*>(detail)->src,
                          [this](std::string_view s) { url_escaped(s); });
                verbatim("\" alt=\"");
                ++m_image_depth;
                break;
            }
            default: break;
        }
    }

    void close_span(MD_SPANTYPE type, void* detail) {
        if (m_image_depth > 0) {
            if (type == MD_SPAN_IMG) {
                const auto& title = static_cast<MD_SPAN_IMG_DETAIL*>(detail)->title;
                if (title.text != nullptr) {
                    verbatim("\" title=\"");
                    attribute(title, [this](std::string_view s) { html_escaped(s); });
                }
                verbatim("\">");
                --m_image_depth;
            }
            return;
        }
        switch (type) {
            case MD_SPAN_EM: verbatim("</em>"); break;
            case MD_SPAN_STRONG: verbatim("</strong>"); break;
            case MD_SPAN_CODE: verbatim("</code>"); break;
            case MD_SPAN_DEL: verbatim("</del>"); break;
            case MD_SPAN_A: verbatim("</a>"); break;
            default: break;
        }
    }

    void open_link(const MD_SPAN_A_DETAIL& link) {
        verbatim("<a href=\"");
        std::string written = decoded(link.href);
        const auto page = m_links.page_href(written);
        if (page) {
            url_escaped(*page);
        } else {
            attribute(link.href, [this](std::string_view s) { url_escaped(s); });
        }
        if (m_options.anchors != nullptr) {
            std::string on_page = page ? *page : written;
            m_options.anchors->links.push_back({std::move(written), std::move(on_page)});
        }
        if (link.title.text != nullptr) {
            verbatim("\" title=\"");
            attribute(link.title, [this](std::string_view s) { html_escaped(s); });
        }
        verbatim("\">");
    }

    void put_text(MD_TEXTTYPE type, std::string_view text) {
        if (m_in_heading) {
            switch (type) {
                case MD_TEXT_HTML: break;
                case MD_TEXT_ENTITY: m_heading_text += entity_text(text); break;
                case MD_TEXT_NULLCHAR: m_heading_text += k_replacement_character; break;
                case MD_TEXT_BR:
                case MD_TEXT_SOFTBR: m_heading_text += ' '; break;
                default: m_heading_text += text; break;
            }
        }
        if (m_in_fence && !text.empty()) m_fence_has_text = true;
        if (type == MD_TEXT_HTML && m_options.anchors != nullptr) note_html_anchors(text);
        switch (type) {
            case MD_TEXT_NULLCHAR: verbatim(k_replacement_character); break;
            case MD_TEXT_BR: verbatim(m_image_depth == 0 ? "<br>\n" : " "); break;
            case MD_TEXT_SOFTBR: verbatim(m_image_depth == 0 ? "\n" : " "); break;
            case MD_TEXT_HTML: verbatim(text); break;
            case MD_TEXT_ENTITY: html_escaped(entity_text(text)); break;
            default: html_escaped(text); break;
        }
    }

    PageOutput& m_out;
    const SiteLinks& m_links;
    const MarkdownOptions& m_options;
    bool m_holding = false;
    std::string m_held;
    bool m_in_heading = false;
    std::string m_heading_text;
    std::unordered_set<std::string> m_ids;
    std::unordered_map<std::string, std::size_t> m_repeats;
    bool m_in_fence = false;
    bool m_fence_has_text = false;
    std::size_t m_fences = 0;
    int m_image_depth = 0;
    std::exception_ptr m_error;
    std::unordered_map<std::string, std::string> m_entities;
};

}  // namespace

void render_markdown(const std::string& markdown, PageOutput& out, const SiteLinks& links,
                     const MarkdownOptions& options) {
    // md4c 0.4.8 reads the byte after a text that ends inside a link destination ("[](&x"),
    // and a ")" there sends it far beyond the end; the std::string's terminating NUL stops it.
    std::string_view text = markdown;
    if (text.substr(0, k_byte_order_mark.size()) == k_byte_order_mark) {
        text.remove_prefix(k_byte_order_mark.size());
    }
    if (text.size() > static_cast<std::size_t>(static_cast<MD_SIZE>(-1))) {
        throw helmkit::Error("document is too large for the Markdown parser");
    }
    Renderer(out, links, options).render(text);
}

std::vector<MermaidFence> mermaid_fences(std::string_view markdown) {
    if (markdown.substr(0, k_byte_order_mark.size()) == k_byte_order_mark) {
        markdown.remove_prefix(k_byte_order_mark.size());
    }
    if (markdown.size() > static_cast<std::size_t>(static_cast<MD_SIZE>(-1))) {
        throw helmkit::Error("document is too large for the Markdown parser");
    }
    struct Scan {
        std::string_view source;
        std::vector<MermaidFence> fences;
        bool inside = false;
        bool located = false;
    };
    const std::string text(markdown);
    Scan scan{text, {}, false, false};
    MD_PARSER parser{};
    parser.flags = MD_FLAG_TABLES;
    parser.enter_block = [](MD_BLOCKTYPE type, void* detail, void* userdata) {
        if (type != MD_BLOCK_CODE) return 0;
        auto& scan = *static_cast<Scan*>(userdata);
        const auto& code = *static_cast<MD_BLOCK_CODE_DETAIL*>(detail);
        if (code.fence_char == 0 || code.lang.text == nullptr) return 0;
        // The info string's first word, as the page's class attribute has it (entities aside:
        // "mermaid" holds none).
        if (std::string_view(code.lang.text, code.lang.size) != "mermaid") return 0;
        scan.fences.emplace_back();
        scan.inside = true;
        scan.located = false;
        return 0;
    };
    parser.leave_block = [](MD_BLOCKTYPE type, void*, void* userdata) {
        if (type == MD_BLOCK_CODE) static_cast<Scan*>(userdata)->inside = false;
        return 0;
    };
    parser.enter_span = [](MD_SPANTYPE, void*, void*) { return 0; };
    parser.leave_span = [](MD_SPANTYPE, void*, void*) { return 0; };
    parser.text = [](MD_TEXTTYPE type, const MD_CHAR* chars, MD_SIZE size, void* userdata) {
        auto& scan = *static_cast<Scan*>(userdata);
        if (!scan.inside) return 0;
        auto& fence = scan.fences.back();
        // The block's text lies in the document, but for the line feeds md4c adds between
        // lines: the opening fence is the line before the first text found there, less the
        // lines already passed.
        const char* begin = scan.source.data();
        if (!scan.located && chars >= begin && chars < begin + scan.source.size()) {
            const auto before = scan.source.substr(0, static_cast<std::size_t>(chars - begin));
            fence.line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n') -
                                                  std::count(fence.text.begin(), fence.text.end(), '\n'));
            scan.located = true;
        }
        if (type == MD_TEXT_NULLCHAR) {
            fence.text += k_replacement_character;
        } else {
            fence.text.append(chars, size);
        }
        return 0;
    };
    if (md_parse(text.data(), static_cast<MD_SIZE>(text.size()), &parser, &scan) != 0) {
        throw helmkit::Error("the Markdown parser failed (out of memory)");
    }
    return std::move(scan.fences);
}

std::string heading_slug(std::string_view text) {
    const auto slug_of_ascii = [](char32_t code) -> std::optional<char> {
        if (code >= 'A' && code <= 'Z') return static_cast<char>(code - 'A' + 'a');
        if ((code >= 'a' && code <= 'z') || (code >= '0' && code <= '9') || code == '-' ||
            code == '_') {
            return static_cast<char>(code);
        }
        if (code == ' ') return '-';
        return std::nullopt;
    };
    std::string slug;
    slug.reserve(text.size());
    // Most headings are ASCII: they are taken byte by byte, the rest from its first other byte
    // on (a character's first byte, as only ASCII comes before it) decoded.
    std::size_t ascii = 0;
    for (; ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80; ++ascii) {
        if (const auto kept = slug_of_ascii(static_cast<unsigned char>(text[ascii]))) {
            slug += *kept;
        }
    }
    if (ascii < text.size()) {
        std::u32string rest;
        for (const char32_t code : helmkit::decode_utf8(text.substr(ascii))) {
            if (code < 0x80) {
                if (const auto kept = slug_of_ascii(code)) rest += static_cast<char32_t>(*kept);
            } else if (code == 0x00a0 || (code >= 0x2000 && code <= 0x200a) || code == 0x3000) {
                rest += '-';
            } else if (!is_unicode_punctuation(code)) {
                rest += lower_case(code);
            }
        }
        slug += helmkit::encode_utf8(rest);
    }
    return slug.empty() ? "section" : slug;
}

std::string markdown_to_html(std::string_view markdown, const MarkdownOptions& options) {
    std::string html;
    PageOutput out([&html](std::string_view piece) { html.append(piece); },
                   static_cast<std::size_t>(-1));
    render_markdown(std::string(markdown), out, SiteLinks({}), options);
    out.finish();
    return html;
}

}  // namespace torvane::chartdoc
