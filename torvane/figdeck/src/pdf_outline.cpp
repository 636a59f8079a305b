// Internal links and the outline: targets set after the links were drawn, written with the
// document.
#include <hpdf.h>
#include <hpdf_doc.h>
#include <hpdf_objects.h>

#include <algorithm>
#include <utility>

#include "helmkit/base/error.hpp"
#include "helmkit/text/utf8.hpp"
#include "page_model_state.hpp"

namespace torvane::figdeck {

namespace {

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A PDF text string in UTF-16BE with its byte order mark, for titles beyond ASCII.
std::string utf16_text_string(std::string_view utf8) {
    std::string out = "\xFE\xFF";
    const auto put = [&](std::uint32_t unit) {
        out.push_back(static_cast<char>(unit >> 8));
        out.push_back(static_cast<char>(unit & 0xFF));
    };
    for (const char32_t c : helmkit::decode_utf8(utf8, U'\uFFFD')) {
        if (c < 0x10000) {
            put(c);
        } else {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

}  // namespace

std::size_t PageModel::bookmark_bytes(std::string_view title) {
    if (is_ascii(title)) return title.size();
    std::size_t units = 0;
    for (const char32_t c : helmkit::decode_utf8(title, U'\uFFFD')) units += c < 0x10000 ? 1 : 2;
    return 2 + 2 * units;
}

// [page /XYZ left top null]: keep the reader's zoom, which libharu cannot write.
HPDF_Destination PageModel::Impl::destination_of(const LinkTarget& target) {
    HPDF_Page target_page = pages[static_cast<std::size_t>(target.page - 1)];
    HPDF_Destination destination = HPDF_Page_CreateDestination(target_page);
    HPDF_Array_Clear(destination);
    HPDF_Array_Add(destination, target_page);
    HPDF_Array_AddName(destination, "XYZ");
    HPDF_Array_AddReal(destination, 0);
    HPDF_Array_AddReal(destination, static_cast<HPDF_REAL>(pdf_y(target.y)));
    HPDF_Array_Add(destination, HPDF_Null_New(doc.get()->mmgr));
    return destination;
}

void PageModel::Impl::write_bookmarks() {
    bool any = false;
    for (const auto& bookmark : bookmarks) {
        const auto& target = links[static_cast<std::size_t>(bookmark.link - 1)];
        if (target.page == 0) continue;
        HPDF_Outline outline = HPDF_CreateOutline(doc.get(), nullptr, "", nullptr);
        doc.check("cannot write the bookmarks");
        if (is_ascii(bookmark.title)) {
            HPDF_Dict_Add(outline, "Title",
                          HPDF_String_New(doc.get()->mmgr, bookmark.title.c_str(), nullptr));
        } else {
            const auto title = utf16_text_string(bookmark.title);
            HPDF_Dict_Add(outline, "Title",
                          HPDF_Binary_New(doc.get()->mmgr,
                                          reinterpret_cast<HPDF_BYTE*>(const_cast<char*>(title.data())),
                                          static_cast<HPDF_UINT>(title.size())));
        }
        HPDF_Outline_SetDestination(outline, destination_of(target));
        any = true;
    }
    // A viewer then opens the report with its bookmarks shown.
    if (any) HPDF_SetPageMode(doc.get(), HPDF_PAGE_MODE_USE_OUTLINE);
    doc.check("cannot write the bookmarks");
}

void PageModel::Impl::write_links() {
    for (const auto& pending : pending_links) {
        const auto& target = links[static_cast<std::size_t>(pending.link - 1)];
        if (target.page == 0) continue;
        HPDF_Destination destination = destination_of(target);
        const HPDF_Rect rect{static_cast<HPDF_REAL>(pt(pending.x)),
                             static_cast<HPDF_REAL>(pdf_y(pending.y + pending.h)),
                             static_cast<HPDF_REAL>(pt(pending.x + pending.w)),
                             static_cast<HPDF_REAL>(pdf_y(pending.y))};
        HPDF_Annotation annotation = HPDF_Page_CreateLinkAnnot(
            pages[static_cast<std::size_t>(pending.page - 1)], rect, destination);
        HPDF_LinkAnnot_SetBorderStyle(annotation, 0, 0, 0);
    }
    doc.check("cannot write the links");
}

int PageModel::add_link() {
    m_impl->links.push_back({});
    return static_cast<int>(m_impl->links.size());
}

void PageModel::set_link(int link, double y, int page) {
    auto& d = *m_impl;
    if (link < 1 || link > static_cast<int>(d.links.size())) {
        throw helmkit::Error("unknown link " + std::to_string(link));
    }
    if (page == -1) page = page_no();
    if (page < 1 || page > page_no()) {
        throw helmkit::Error("a link cannot lead to page " + std::to_string(page) +
                             " of a document of " + std::to_string(page_no()) + " pages");
    }
    d.links[static_cast<std::size_t>(link - 1)] = {page, y};
}

void PageModel::add_bookmark(std::string title, int link) {
    auto& d = *m_impl;
    if (link < 1 || link > static_cast<int>(d.links.size())) {
        throw helmkit::Error("unknown link " + std::to_string(link));
    }
    if (const auto bytes = bookmark_bytes(title); bytes > k_max_text_bytes) {
        throw helmkit::Error("a bookmark title of " + std::to_string(bytes) +
                             " bytes, beyond the " + std::to_string(k_max_text_bytes) +
                             " that a bookmark holds");
    }
    d.bookmarks.push_back({std::move(title), link});
}

}  // namespace torvane::figdeck
