#pragma once

#include <memory>
#include <string>

namespace torvane::gridpage {

// A page of the merged report while it is being composed: its size, its content operators and
// the form XObjects they draw. Copies share one page, so an outline entry made for a sheet
// still leads to it when the sheet is filled and appended later.
class OutputPage {
public:
    // Returns a new empty page whose media box runs from (0, 0) to (width, height).
    static OutputPage create_blank_page(double width, double height);

    double width() const;
    double height() const;
    // The content operators drawn so far.
    const std::string& contents() const;

    // Replaces the page's content with `operators` and empties its resources.
    void set_contents(std::string operators);
    // Draws `other` on top of this page, untransformed, taking its resources along.
    void merge_page(const OutputPage& other);

    struct State;
    State& state() const { return *m_state; }

private:
    explicit OutputPage(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
};

}  // namespace torvane::gridpage
