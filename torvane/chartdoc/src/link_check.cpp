#include "torvane/chartdoc/link_check.hpp"
#include "torvane/chartdoc/site_links.hpp"

#include <string_view>
#include <unordered_set>
#include <utility>

#include "helmkit/text/ascii_case.hpp"

namespace torvane::chartdoc {

void LinkCheck::add_page(const std::string& page, std::optional<std::vector<std::string>> ids) {
    m_pages[page] = std::move(ids);
}

void LinkCheck::add_links(const std::string& source, const std::string& page,
                          std::vector<DocumentLink> links) {
    m_links.push_back({source, page, std::move(links)});
}

std::vector<std::string> LinkCheck::broken(bool check_anchors) const {
    std::vector<std::string> messages;
    // A page's anchors are looked up in a set, made only once a link asks for one of them.
    std::unordered_map<const std::vector<std::string>*, std::unordered_set<std::string_view>>
        anchor_sets;
    for (const auto& [source, own_page, links] : m_links) {
        for (const auto& [written, on_page] : links) {
            const std::string_view href = on_page;
            if (href.empty() || has_scheme(href) || href.front() == '/') continue;
            const std::size_t query = href.find_first_of("?#");
            std::string_view path = href.substr(0, query);
            while (path.substr(0, 2) == "./") path.remove_prefix(2);
            std::string fragment;
            const std::size_t hash = href.find('#');
            if (hash != std::string_view::npos) fragment = percent_decoded(href.substr(hash + 1));
            std::string target;
            if (path.empty()) {
                if (query != std::string_view::npos && href[query] == '?') continue;
                target = own_page;
            } else {
                if (path.find('/') != std::string_view::npos) continue;
                if (!helmkit::ends_with_ignoring_case(path, ".html") &&
                    !helmkit::ends_with_ignoring_case(path, ".htm") &&
                    !helmkit::ends_with_ignoring_case(path, ".md")) {
                    continue;
                }
                target = percent_decoded(path);
            }
            const auto found = m_pages.find(target);
            const std::string prefix = "Broken link in " + source + ": '" + written + "' ";
            if (found == m_pages.end()) {
                messages.push_back(prefix + "leads to no page of the site");
                continue;
            }
            if (!check_anchors || fragment.empty() || !found->second) continue;
            const auto& ids = *found->second;
            auto [anchors, made] = anchor_sets.try_emplace(&ids);
            if (made) anchors->second.insert(ids.begin(), ids.end());
            if (anchors->second.count(fragment) == 0) {
                messages.push_back(prefix + "leads to " + target + ", which has no anchor '" +
                                   fragment + "'");
            }
        }
    }
    return messages;
}

}  // namespace torvane::chartdoc
