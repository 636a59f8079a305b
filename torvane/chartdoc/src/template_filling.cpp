#include "torvane/chartdoc/template_filling.hpp"

#include <stdexcept>

namespace torvane::chartdoc {

namespace {

std::string_view value_of(std::string_view name, std::initializer_list<TemplateValue> values) {
    for (const auto& value : values) {
        if (value.name == name) return value.value;
    }
    throw std::invalid_argument("template has no value for {" + std::string(name) + "}");
}

}  // namespace

std::string fill_template(std::string_view text, std::initializer_list<TemplateValue> values) {
    std::size_t size = text.size();
    for (const auto& value : values) size += value.value.size();
    std::string out;
    out.reserve(size);

    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t brace = text.find_first_of("{}", i);
        if (brace == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, brace - i));
        const char c = text[brace];
        if (brace + 1 < text.size() && text[brace + 1] == c) {
            out += c;
            i = brace + 2;
            continue;
        }
        const std::size_t close = text.find('}', brace);
        if (c == '}' || close == std::string_view::npos) {
            throw std::invalid_argument("template has a lone brace at offset " +
                                        std::to_string(brace));
        }
        out.append(value_of(text.substr(brace + 1, close - brace - 1), values));
        i = close + 1;
    }
    return out;
}

}  // namespace torvane::chartdoc
