#include "torvane/chartdoc/page_templates.hpp"

#include "torvane/chartdoc/site_links.hpp"
#include "torvane/chartdoc/template_filling.hpp"

namespace torvane::chartdoc {

// The style sheets keep their braces doubled: a single brace starts a placeholder.
const std::string_view PAGE_TEMPLATE = R"html(
<!DOCTYPE html>
<html>
<head>
    <meta charset="UTF-8">
    <title>{title}</title>
    <style>
        body {{ 
            font-family: -apple-system, BlinkMacSystemFont, "Segoe UI", Helvetica, "Apple Color Emoji", Arial, sans-serif, "Segoe UI Emoji", "Segoe UI Symbol"; 
            max-width: 900px; margin: 0 auto; padding: 40px 20px; line-height: 1.6; color: #37352f; 
        }}
        header, footer {{ 
            display: flex; justify-content: space-between; align-items: center; 
            padding: 10px 0; border-bottom: 1px solid #edece9; margin-bottom: 30px; 
        }}
        footer {{ border-bottom: none; border-top: 1px solid #edece9; margin-top: 50px; padding-top: 20px; }}
        .back-btn {{ text-decoration: none; color: #37352f; font-weight: 500; border: 1px solid #edece9; padding: 6px 16px; border-radius: 4px; background: #fafafa; transition: background 0.1s; }}
        .back-btn:hover {{ background: #e0e0e0; }}
        .title-text {{ font-size: 1.5em; font-weight: 600; }}

        .content {{ padding: 10px 0; font-size: 16px; }}
        .content h1, .content h2, .content h3, .content h4 {{ font-weight: 600; margin-top: 1.5em; margin-bottom: 0.5em; }}
        .content h1 {{ font-size: 1.875em; }}
        .content h2 {{ font-size: 1.5em; border-bottom: 1px solid #edece9; padding-bottom: 0.3em; }}
        .content h3 {{ font-size: 1.25em; }}
        .content p {{ margin-top: 0; margin-bottom: 1em; }}

        .content a {{ color: inherit; text-decoration: underline; text-decoration-color: #d3d3d3; text-underline-offset: 2px; }}
        .content a:hover {{ text-decoration-color: #37352f; }}

        .content ul, .content ol {{ padding-left: 20px; margin-top: 0; margin-bottom: 1em; }}
        .content li {{ margin-bottom: 0.3em; }}

        .content code {{ 
            background: rgba(135, 131, 120, 0.15);
            color: #eb5757;
            padding: 0.2em 0.4em; 
            border-radius: 3px; 
            font-family: "SFMono-Regular", Consolas, "Liberation Mono", Menlo, Courier, monospace; 
            font-size: 0.9em; 
        }}

        .content pre {{ 
            background: #f7f6f3;
            padding: 16px; 
            border-radius: 4px; 
            overflow-x: auto; 
            margin-top: 0; 
            margin-bottom: 1em; 
        }}
        .content pre code {{ 
            background: transparent; 
            color: #37352f; 
            padding: 0; 
            border-radius: 0; 
            font-size: 0.9em;
        }}

        .content blockquote {{ 
            border-left: 3px solid #37352f; 
            margin: 0 0 1em 0; 
            padding-left: 14px; 
            color: #787774; 
        }}

        .content table {{ border-collapse: collapse; width: 100%; margin-bottom: 1em; }}
        .content th, .content td {{ border: 1px solid #edece9; padding: 8px 12px; text-align: left; }}
        .content th {{ background: #f7f6f3; font-weight: 500; }}
    </style>
</head>
<body>
    <header>
        <div class="title-text">{title}</div>
        <a href="index.html" class="back-btn">← Back</a>
    </header>
    <div class="content">
        {body_content}
    </div>
    <footer>
        <a href="index.html" class="back-btn">← Back to Index</a>
    </footer>
</body>
</html>
)html";

const std::string_view INDEX_TEMPLATE = R"html(
<!DOCTYPE html>
<html>
<head>
    <meta charset="UTF-8">
    <title>{index_title}</title>
    <style>
        body {{ font-family: -apple-system, BlinkMacSystemFont, "Segoe UI", Helvetica, Arial, sans-serif; 
               max-width: 800px; margin: 0 auto; padding: 40px 20px; line-height: 1.6; color: #37352f; }}
        ul {{ list-style: none; padding: 0; margin-bottom: 40px; }}
        li {{ margin-bottom: 10px; padding: 10px; border: 1px solid #edece9; border-radius: 4px; transition: background 0.2s; }}
        li:hover {{ background: #f7f6f3; }}
        a {{ text-decoration: none; color: #37352f; display: block; }}
        .icon {{ margin-right: 10px; font-size: 1.2em; }}
        h2 {{ border-bottom: 2px solid #edece9; padding-bottom: 10px; }}
        h3 {{ color: #555; margin-top: 30px; border-bottom: 1px dashed #edece9; padding-bottom: 5px; }}
    </style>
</head>
<body>
    <h2>📁 {index_title}</h2>
    {md_section}
    {chart_section}
</body>
</html>
)html";

namespace {

constexpr std::string_view k_doc_entry =
    R"html(<li><a href="{out_name}"><span class="icon">📘</span> {display_title}</a></li>)html";
constexpr std::string_view k_chart_entry =
    R"html(<li><a href="{base_name}.html"><span class="icon">📊</span> {display_title}</a></li>)html";

std::string section(std::string_view heading, const std::vector<std::string>& entries) {
    if (entries.empty()) return {};
    std::string text = "<h3>";
    text += heading;
    text += "</h3><ul>";
    for (const auto& entry : entries) text += entry;
    text += "</ul>";
    return text;
}

}  // namespace

std::string html_text(std::string_view text) {
    std::string html;
    html.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': html += "&amp;"; break;
            case '<': html += "&lt;"; break;
            case '>': html += "&gt;"; break;
            case '"': html += "&quot;"; break;
            default: html += c;
        }
    }
    return html;
}

PageFrame page_frame(std::string_view title) {
    // The frame is the same for every page but for its title: the template is filled once, with
    // a marker for the title that the template itself does not hold, and cut there.
    struct Pieces {
        std::vector<std::string> head;  // the head's text between the titles
        std::string tail;
    };
    static const Pieces pieces = [] {
        constexpr std::string_view body = "{body_content}";
        constexpr std::string_view marker = "\x01title\x01";
        const std::size_t at = PAGE_TEMPLATE.find(body);
        const std::string head = fill_template(PAGE_TEMPLATE.substr(0, at), {{"title", marker}});
        Pieces made;
        std::size_t start = 0;
        for (std::size_t found = head.find(marker); found != std::string::npos;
             found = head.find(marker, start)) {
            made.head.push_back(head.substr(start, found - start));
            start = found + marker.size();
        }
        made.head.push_back(head.substr(start));
        made.tail = fill_template(PAGE_TEMPLATE.substr(at + body.size()), {});
        return made;
    }();
    PageFrame frame;
    std::size_t size = title.size() * (pieces.head.size() - 1);
    for (const auto& piece : pieces.head) size += piece.size();
    frame.head.reserve(size);
    for (std::size_t i = 0; i < pieces.head.size(); ++i) {
        if (i > 0) frame.head.append(title);
        frame.head.append(pieces.head[i]);
    }
    frame.tail = pieces.tail;
    return frame;
}

std::string fill_page(std::string_view title, std::string_view body_content) {
    const auto frame = page_frame(title);
    std::string page;
    page.reserve(frame.head.size() + body_content.size() + frame.tail.size());
    page.append(frame.head).append(body_content).append(frame.tail);
    return page;
}

std::string doc_entry(std::string_view out_name, std::string_view display_title) {
    return fill_template(k_doc_entry,
                         {{"out_name", percent_encoded(out_name)}, {"display_title", display_title}});
}

std::string chart_entry(std::string_view base_name, std::string_view display_title) {
    return fill_template(k_chart_entry, {{"base_name", percent_encoded(base_name)},
                                         {"display_title", display_title}});
}

std::string fill_index(std::string_view index_title, const std::vector<std::string>& md_links,
                       const std::vector<std::string>& chart_links) {
    const std::string md_section = section("Documentation", md_links);
    const std::string chart_section = section("Flow Charts", chart_links);
    return fill_template(INDEX_TEMPLATE, {{"index_title", index_title},
                                          {"md_section", md_section},
                                          {"chart_section", chart_section}});
}

}  // namespace torvane::chartdoc
