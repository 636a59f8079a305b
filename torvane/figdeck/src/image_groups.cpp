#include "torvane/figdeck/image_groups.hpp"

#include <algorithm>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/config_value.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/text/parse_tools.hpp"

namespace torvane::figdeck {

namespace {

bool is_blank(const std::string& text) {
    return text.find_first_not_of(" \t\n\r\f\v") == std::string::npos;
}

}  // namespace

std::string group_where(const std::string& name) { return "group '" + name + "'"; }

ParsedData group_images(const std::vector<std::string>& paths,
                        const std::vector<std::string>& names,
                        const nlohmann::ordered_json& groups_def, const std::string& prefix) {
    auto& logger = helmkit::app_logging::lazy_logger("Figdeck");
    ParsedData parsed;
    for (std::size_t index = 0; index < groups_def.size(); ++index) {
        const auto& definition = groups_def[index];
        const auto where = "entry " + std::to_string(index + 1) + " of \"groups\"";
        if (!definition.is_object()) {
            throw helmkit::Error(where + " must be a JSON object, not " + definition.dump());
        }
        if (definition.find("name") == definition.end()) {
            throw helmkit::Error(where + " has no \"name\"");
        }
        const auto name = helmkit::text_or(definition, "name", "", where);
        const auto pattern = helmkit::text_or(definition, "pattern", "", group_where(name));
        if (is_blank(pattern)) continue;

        auto group = std::find_if(parsed.begin(), parsed.end(),
                                  [&](const GroupImages& g) { return g.name == name; });
        if (group == parsed.end()) {
            parsed.push_back({name, {}});
            group = parsed.end() - 1;
        } else {
            group->images.clear();
        }
        logger.info("Matching for Group: " + name + " (Pattern: " + pattern + ")");
        const auto count = std::min(paths.size(), names.size());
        for (std::size_t i = 0; i < count; ++i) {
            auto [matches, caption] = helmkit::parseTools::parseFn_pattern(names[i], pattern, prefix);
            if (matches) group->images.push_back({paths[i], std::move(caption)});
        }
        logger.info("  -> Matched " + std::to_string(group->images.size()) + " images.");
    }
    return parsed;
}

}  // namespace torvane::figdeck
