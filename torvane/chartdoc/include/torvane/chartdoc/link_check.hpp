#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "torvane/chartdoc/markdown_html.hpp"

namespace torvane::chartdoc {

// Finds the links between the pages of a site that lead nowhere.
class LinkCheck {
public:
    // Notes the page `page` (a file name in the output folder) as written. `ids` are the
    // anchors it holds, or nothing when they are not known (its anchors are then not checked).
    void add_page(const std::string& page, std::optional<std::vector<std::string>> ids);
    // Notes the links of the document `source`, whose page is `page`.
    void add_links(const std::string& source, const std::string& page,
                   std::vector<DocumentLink> links);

    // Returns one message per link that leads to no page noted, or to an anchor its page does
    // not hold (when `check_anchors`), in the order the links were added. Links with a scheme
    // ("https:", "mailto:"), absolute paths, links into other folders and links to files that
    // are not pages (.html, .htm, .md) are not checked.
    std::vector<std::string> broken(bool check_anchors) const;

private:
    struct Links {
        std::string source;
        std::string page;
        std::vector<DocumentLink> links;
    };
    std::unordered_map<std::string, std::optional<std::vector<std::string>>> m_pages;
    std::vector<Links> m_links;
};

}  // namespace torvane::chartdoc
