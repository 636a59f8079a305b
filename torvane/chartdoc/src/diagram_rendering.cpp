#include "torvane/chartdoc/diagram_rendering.hpp"

#include <sys/stat.h>

#include <system_error>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/child_process.hpp"
#include "helmkit/base/error.hpp"
#include "helmkit/base/json.hpp"
#include "helmkit/base/progress.hpp"
#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "helmkit/text/sha256.hpp"

#include "chartdoc_log.hpp"

namespace fs = std::filesystem;

namespace torvane::chartdoc {

namespace {

// What both renderers are started with, which decides the SVG as much as the text does.
constexpr const char* k_configuration =
    "theme=default background=white viewport=800x600 scale=1 id=my-svg";

std::optional<std::string> package_version(const fs::path& package_json, const char* name) {
    try {
        const auto json = nlohmann::json::parse(helmkit::fileMg::read_file(package_json), nullptr,
                                                false);
        if (!json.is_object() || json.value("name", "") != name) return std::nullopt;
        const auto version = json.find("version");
        if (version == json.end() || !version->is_string()) return std::nullopt;
        return version->get<std::string>();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The package that holds `from`'s module `name`, looked for as Node looks: in node_modules
// folders from `from` upwards.
std::optional<std::string> resolved_version(fs::path from, const char* name) {
    for (; !from.empty() && from != from.root_path(); from = from.parent_path()) {
        if (auto version = package_version(from / "node_modules" / name / "package.json", name)) {
            return version;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string renderer_identity(const fs::path& mmdc) {
    std::error_code error;
    const fs::path real = fs::canonical(mmdc, error);
    if (!error) {
        // <package>/src/cli.js of @mermaid-js/mermaid-cli
        const fs::path package = real.parent_path().parent_path();
        const auto cli = package_version(package / "package.json", "@mermaid-js/mermaid-cli");
        const auto mermaid = resolved_version(package, "mermaid");
        const auto puppeteer = resolved_version(package, "puppeteer");
        if (cli && mermaid) {
            return "mermaid-cli " + *cli + " mermaid " + *mermaid + " puppeteer " +
                   puppeteer.value_or("?");
        }
    }
    struct stat info {};
    const fs::path path = error ? mmdc : real;
    if (::stat(path.c_str(), &info) != 0) return "mmdc " + path.string();
    return "mmdc " + path.string() + " " + std::to_string(info.st_size) + " " +
           std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

DiagramRendering::DiagramRendering(Settings settings) : m_settings(std::move(settings)) {
    auto& log = logger();
    // The renderer is identified only for the cache's keys: its packages and the script are
    // read only when the cache is on.
    std::string script_key;
    if (m_settings.batch) {
        try {
            m_batch = find_batch_renderer(m_settings.mmdc);
            if (m_settings.cache) {
                script_key = " script " +
                             helmkit::sha256_hex(helmkit::fileMg::read_file(m_batch->script));
            }
        } catch (const helmkit::Error& error) {
            log.warning(std::string("Batch rendering is not available, each diagram is rendered "
                                    "by its own mmdc: ") +
                        error.what());
            m_batch.reset();
        }
    }
    if (!m_settings.cache) return;
    const std::string renderer =
        renderer_identity(m_settings.mmdc) + (m_batch ? script_key : " mmdc");
    const auto folder = DiagramCache::default_folder();
    if (!folder) {
        log.warning("Diagram cache turned off: neither XDG_CACHE_HOME nor HOME is set");
        return;
    }
    m_cache.emplace(*folder, renderer + " " + k_configuration);
    if (!m_cache->on()) {
        log.warning("Diagram cache turned off: " + m_cache->off_reason());
        m_cache.reset();
    }
}

void DiagramRendering::prefetch(const std::vector<std::string>& texts) {
    if (!m_batch) return;
    std::vector<std::string> missing;
    for (const auto& text : texts) {
        if (text.empty() || m_prefetched.count(text) != 0) continue;
        if (auto svg = cached(text)) {
            m_prefetched[text] = {std::move(svg), {}};
            continue;
        }
        m_prefetched[text];
        missing.push_back(text);
    }
    auto results = render_batch(*m_batch, missing, m_settings.output_folder, diagram_time_bound());
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (results[i].svg) keep(missing[i], *results[i].svg);
        m_prefetched[missing[i]] = std::move(results[i]);
    }
}

RenderResult DiagramRendering::render(const std::string& text) {
    const auto found = m_prefetched.find(text);
    if (found != m_prefetched.end()) return found->second;
    if (auto svg = cached(text)) return {std::move(svg), {}};
    RenderResult result;
    if (m_batch) {
        result = render_batch(*m_batch, {text}, m_settings.output_folder, diagram_time_bound())
                     .front();
    } else {
        result = render_alone(text);
    }
    if (result.svg) keep(text, *result.svg);
    return result;
}

RenderResult DiagramRendering::render_alone(const std::string& text) {
    const ScratchFolder scratch(m_settings.output_folder);
    const fs::path source = scratch.path() / "diagram.mmd";
    const fs::path svg = scratch.path() / "diagram.svg";
    helmkit::write_file_atomically(source, text);
    const std::vector<std::string> command{"mmdc", "-i", source.string(), "-o", svg.string()};
    try {
        const helmkit::Progress::Pause pause;
        const auto status = helmkit::run_process(command);
        if (!status.succeeded()) return {std::nullopt, "mmdc " + helmkit::describe_process_status(status)};
    } catch (const helmkit::Error& error) {
        return {std::nullopt, error.what()};
    }
    try {
        return {helmkit::fileMg::read_file(svg), {}};
    } catch (const helmkit::Error& error) {
        return {std::nullopt, error.what()};
    }
}

std::optional<std::string> DiagramRendering::cached(const std::string& text) const {
    if (!m_cache) return std::nullopt;
    return m_cache->find(text);
}

void DiagramRendering::keep(const std::string& text, const std::string& svg) {
    if (!m_cache) return;
    if (const auto reason = m_cache->store(text, svg)) {
        logger().warning("Diagram cache turned off: " + *reason);
        m_cache.reset();
    }
}

void DiagramRendering::finish() const {
    if (m_cache) m_cache->trim();
}

}  // namespace torvane::chartdoc
