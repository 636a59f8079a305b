#include "torvane/chartdoc/site_pages.hpp"

#include <utility>

namespace torvane::chartdoc {

void SitePages::add(const std::filesystem::path& target, PendingPage page,
                    const std::function<void(helmkit::AtomicFile&)>& write) {
    m_batch.add(target, write);
    m_added.push_back({target, std::move(page)});
}

void SitePages::add_file(const std::filesystem::path& target, std::string_view data) {
    m_batch.add(target, data);
    m_added.push_back({target, std::nullopt});
}

SitePages::Placed SitePages::commit() {
    const auto failures = m_batch.commit();
    auto added = std::exchange(m_added, {});
    Placed placed;
    // Failures come in the order of the outputs, so one pass pairs them.
    std::size_t next_failure = 0;
    for (auto& output : added) {
        const bool failed =
            next_failure < failures.size() && failures[next_failure].target == output.target;
        if (failed) {
            const auto& message = failures[next_failure++].message;
            if (output.page) {
                placed.unplaced.push_back({std::move(*output.page), message});
            } else {
                placed.unplaced_files.push_back(message);
            }
            continue;
        }
        if (!output.page) continue;
        auto& links = output.page->kind == PageKind::document ? placed.md_links : placed.chart_links;
        links.push_back(std::move(output.page->entry));
    }
    return placed;
}

}  // namespace torvane::chartdoc
