#pragma once

#include <string>
#include <vector>

#include "helmkit/base/json.hpp"

namespace torvane::figdeck {

// One image of a group: the file's path as the lister gave it and its caption.
struct ImageEntry {
    std::string path;
    std::string caption;

    bool operator==(const ImageEntry&) const = default;
};

// The images of one group, under the group's name.
struct GroupImages {
    std::string name;
    std::vector<ImageEntry> images;
};

// Groups in the order their names first appear in the configuration.
using ParsedData = std::vector<GroupImages>;

// How messages name the group `name`: "group '<name>'".
std::string group_where(const std::string& name);

// Matches every listed file (`paths` and `names` index by index, up to the shorter) against
// every entry of `groups_def` with a non-blank "pattern", with `prefix` for the matcher; a
// name given twice keeps its first place and the later matches. Logs one line per group and
// its count. Throws helmkit::Error for an entry that is no object, has no text "name", or
// has a "pattern" that is no text.
ParsedData group_images(const std::vector<std::string>& paths,
                        const std::vector<std::string>& names,
                        const nlohmann::ordered_json& groups_def, const std::string& prefix);

}  // namespace torvane::figdeck
