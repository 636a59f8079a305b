#include "torvane/gridpage/output_page.hpp"

#include <utility>

#include "qpdf_objects.hpp"

namespace torvane::gridpage {

OutputPage::OutputPage(std::shared_ptr<State> state) : m_state(std::move(state)) {}

OutputPage OutputPage::create_blank_page(double width, double height) {
    auto state = std::make_shared<State>();
    state->width = width;
    state->height = height;
    return OutputPage(std::move(state));
}

double OutputPage::width() const { return m_state->width; }
double OutputPage::height() const { return m_state->height; }
const std::string& OutputPage::contents() const { return m_state->contents; }

void OutputPage::set_contents(std::string operators) {
    m_state->contents = std::move(operators);
    m_state->xobjects.clear();
}

void OutputPage::merge_page(const OutputPage& other) {
    // Each drawn page keeps its own graphics state, so nothing it sets leaks into the next.
    m_state->contents += "q\n" + other.m_state->contents + "\nQ\n";
    m_state->xobjects.insert(m_state->xobjects.end(), other.m_state->xobjects.begin(),
                             other.m_state->xobjects.end());
}

}  // namespace torvane::gridpage
