#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace torvane::chartdoc {

// Returns `name` fit for an href that names a file beside the page: every byte other than
// ASCII letters, digits and "-._~" becomes %XX ("100% done.html" gives "100%25%20done.html").
std::string percent_encoded(std::string_view name);

// Returns `text` with each %XX read as its byte, as a browser reads a link's path and
// fragment; a "%" that starts no %XX stays itself.
std::string percent_decoded(std::string_view text);

// Tells whether `href` starts with a scheme ("https:", "mailto:"), which makes a link absolute.
bool has_scheme(std::string_view href);

// The Markdown documents of one site, so that a document's link to another one can lead to
// that document's page instead of its source.
class SiteLinks {
public:
    // Takes the names of the site's documents, as listed in the input folder, with the page
    // name each one gets.
    explicit SiteLinks(const std::vector<std::pair<std::string, std::string>>& pages);

    // Returns the href that replaces the link destination `href` (entities already decoded):
    // the encoded page name and the destination's "#part" or "?query" as written, when `href`
    // is a relative link ("other.md", "./other.md", percent-encoded or not) to one of the
    // site's documents. Returns nothing for any other link, which stays as written.
    std::optional<std::string> page_href(std::string_view href) const;

private:
    std::unordered_map<std::string, std::string> m_pages;
};

}  // namespace torvane::chartdoc
