#include "torvane/chartdoc/markdown_html.hpp"

#include <md4c-html.h>
#include <md4c.h>

#include <array>
#include <exception>
#include <string>
#include <unordered_map>

#include "helmkit/base/error.hpp"

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
    Renderer(PageOutput& out, const SiteLinks& links) : m_out(out), m_links(links) {}

    // Parses `markdown`; rethrows what the output threw. Throws helmkit::Error when the parser
    // fails.
    void render(std::string_view markdown) {
        MD_PARSER parser{};
        parser.flags = MD_FLAG_TABLES;
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

    void verbatim(std::string_view text) { m_out.write(text); }

    // Writes `text` with the bytes that need it escaped: as %XX in a link destination (`&` as
    // &amp;, which HTML needs there), as entities elsewhere.
    template <bool k_url>
    void escaped(std::string_view text) {
        const auto& needs = k_url ? k_escape.url : k_escape.html;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (!needs[byte]) continue;
            if (i > start) m_out.write(text.substr(start, i - start));
            start = i + 1;
            if (k_url && text[i] != '&') {
                static constexpr char k_hex[] = "0123456789ABCDEF";
                const char code[3] = {'%', k_hex[byte >> 4], k_hex[byte & 0xf]};
                m_out.write(std::string_view(code, 3));
                continue;
            }
            switch (text[i]) {
                case '&': m_out.write("&amp;"); break;
                case '<': m_out.write("&lt;"); break;
                case '>': m_out.write("&gt;"); break;
                default: m_out.write("&quot;"); break;
            }
        }
        if (start < text.size()) m_out.write(text.substr(start));
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
                const char level = static_cast<char>('0' + heading_level(detail));
                const char tag[4] = {'<', 'h', level, '>'};
                verbatim(std::string_view(tag, 4));
                break;
            }
            case MD_BLOCK_CODE: {
                const auto& code = *static_cast<MD_BLOCK_CODE_DETAIL*>(detail);
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
                const char tag[6] = {'<', '/', 'h', level, '>', '\n'};
                verbatim(std::string_view(tag, 6));
                break;
            }
            case MD_BLOCK_CODE: verbatim("</code></pre>\n"); break;
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

    void open_cell(std::string_view tag, void* detail) {
        verbatim(tag);
        switch (static_cast<MD_BLOCK_TD_DETAIL*>(detail)->align) {
            case MD_ALIGN_LEFT: verbatim(" align=\"left\">"); break;
            case MD_ALIGN_CENTER: verbatim(" align=\"center\">"); break;
            case MD_ALIGN_RIGHT: verbatim(" align=\"right\">"); break;
            default: verbatim(">"); break;
        }
    }

    // Inside an image's description only plain text is kept: it becomes the alt attribute.
    // As in md4c-html, the first image end met there closes the outer image.
    void open_span(MD_SPANTYPE type, void* detail) {
        if (m_image_depth > 0) return;
        switch (type) {
            case MD_SPAN_EM: verbatim("<em>"); break;
            case MD_SPAN_STRONG: verbatim("<strong>"); break;
            case MD_SPAN_CODE: verbatim("<code>"); break;
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
            case MD_SPAN_A: verbatim("</a>"); break;
            default: break;
        }
    }

    void open_link(const MD_SPAN_A_DETAIL& link) {
        verbatim("<a href=\"");
        if (const auto page = m_links.page_href(decoded(link.href))) {
            url_escaped(*page);
        } else {
            attribute(link.href, [this](std::string_view s) { url_escaped(s); });
        }
        if (link.title.text != nullptr) {
            verbatim("\" title=\"");
            attribute(link.title, [this](std::string_view s) { html_escaped(s); });
        }
        verbatim("\">");
    }

    void put_text(MD_TEXTTYPE type, std::string_view text) {
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
    int m_image_depth = 0;
    std::exception_ptr m_error;
    std::unordered_map<std::string, std::string> m_entities;
};

}  // namespace

void render_markdown(std::string_view markdown, PageOutput& out, const SiteLinks& links) {
    if (markdown.substr(0, k_byte_order_mark.size()) == k_byte_order_mark) {
        markdown.remove_prefix(k_byte_order_mark.size());
    }
    if (markdown.size() > static_cast<std::size_t>(static_cast<MD_SIZE>(-1))) {
        throw helmkit::Error("document is too large for the Markdown parser");
    }
    // md4c 0.4.8 reads the byte after a text that ends inside a link destination ("[](&x"),
    // and a ")" there sends it far beyond the end; a std::string's terminating NUL stops it.
    const std::string text(markdown);
    Renderer(out, links).render(text);
}

std::string markdown_to_html(std::string_view markdown) {
    std::string html;
    PageOutput out([&html](std::string_view piece) { html.append(piece); },
                   static_cast<std::size_t>(-1));
    render_markdown(markdown, out, SiteLinks({}));
    out.finish();
    return html;
}

}  // namespace torvane::chartdoc
