#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helmkit/files/atomic_batch.hpp"

namespace torvane::chartdoc {

enum class PageKind { document, diagram };

// A page of the site waiting to be put in place, and the index entry that links it.
struct PendingPage {
    PageKind kind;
    std::string source;  // the document or diagram name, for messages
    std::string entry;   // its index entry
};

// A page that could not be put in place, and why ("cannot write '<page>': <reason>").
struct UnplacedPage {
    PendingPage page;
    std::string message;
};

// The pages (and SVG images) of one run, put in place together so that the flush to disk is
// paid once for all of them: each is written to its own temporary file as it comes, and none
// replaces an earlier file before all that replace one are on disk. A page under a new name is
// not waited for: it is put in place as soon as it is written, and a power loss may leave it
// missing or empty, which the next run mends, but never takes an earlier page.
class SitePages {
public:
    // Writes the page `target` through `write` into its temporary file, and puts it in place
    // if its name is free. Throws what `write` throws, or helmkit::Error when the temporary
    // cannot be made or put in place; the page is then dropped.
    void add(const std::filesystem::path& target, PendingPage page,
             const std::function<void(helmkit::AtomicFile&)>& write);
    // Writes the file `target` holding `data`, a file that no index entry links (an image),
    // as add() does. Throws helmkit::Error when it cannot be made, written or put in place.
    void add_file(const std::filesystem::path& target, std::string_view data);

    // Puts every page and file in place (one flush for those that replace a file, then the
    // renames). Returns the
    // index entries of the pages now in place, documents and diagrams apart, in the order they
    // were added, and the pages that could not be put in place.
    struct Placed {
        std::vector<std::string> md_links;
        std::vector<std::string> chart_links;
        std::vector<UnplacedPage> unplaced;
        std::vector<std::string> unplaced_files;  // messages about the other files
    };
    Placed commit();

private:
    struct Added {
        std::filesystem::path target;
        std::optional<PendingPage> page;  // none for a file that no entry links
    };

    helmkit::AtomicBatch m_batch{helmkit::Flush::when_replacing, helmkit::NewNames::at_once};
    std::vector<Added> m_added;
};

}  // namespace torvane::chartdoc
