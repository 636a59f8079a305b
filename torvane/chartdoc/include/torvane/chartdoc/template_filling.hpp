#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace torvane::chartdoc {

struct TemplateValue {
    std::string_view name;
    std::string_view value;
};

// Returns `text` with every placeholder "{name}" replaced by its value from `values` and
// every "{{" and "}}" turned into a single brace. Values are inserted verbatim and never
// scanned again. Throws std::invalid_argument on an unknown placeholder or a lone brace.
std::string fill_template(std::string_view text, std::initializer_list<TemplateValue> values);

}  // namespace torvane::chartdoc
