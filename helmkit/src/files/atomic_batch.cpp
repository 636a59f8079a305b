#include "helmkit/files/atomic_batch.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "crash_points.hpp"
#include "disk_flush.hpp"
#include "helmkit/base/error.hpp"

namespace fs = std::filesystem;

namespace helmkit {

namespace {

// Up to this many files are flushed one by one; a larger batch flushes their file systems
// whole, one call each, which costs less than a flush per file but waits for whatever else
// is waiting to be written there.
constexpr std::size_t k_most_files_flushed_one_by_one = 8;

}  // namespace

struct AtomicBatch::Pending {
    AtomicFile file;
    Overwrite overwrite;
    dev_t device;
};

struct AtomicBatch::FileSystem {
    dev_t device;
    int fd;
};

AtomicBatch::AtomicBatch(Flush flush, NewNames new_names)
    : m_flush(flush), m_new_names(new_names) {}

AtomicBatch::~AtomicBatch() {
    for (const auto& file_system : m_file_systems) ::close(file_system.fd);
}

void AtomicBatch::add(fs::path target, const std::function<void(AtomicFile&)>& write,
                      Overwrite overwrite) {
    auto pending = std::make_unique<Pending>(Pending{AtomicFile(std::move(target)), overwrite, 0});
    auto& file = pending->file;
    struct stat info {};
    if (::fstat(file.m_fd, &info) != 0) throw_file_error("write", file.target(), errno);
    pending->device = info.st_dev;
    const bool known =
        std::any_of(m_file_systems.begin(), m_file_systems.end(),
                    [&](const FileSystem& known) { return known.device == info.st_dev; });
    if (!known) {
        const int fd = ::open(file.m_temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw_file_error("write", file.target(), errno);
        m_file_systems.push_back({info.st_dev, fd});
    }

    write(file);
    // Closed now, so that a batch of thousands of files holds no descriptor per file.
    file.close_fd();
    file.give_mode_if_named();
    crash_point();
    if (m_new_names == NewNames::at_once && file.placed_unflushed(overwrite, m_flush)) {
        crash_point();
        return;
    }
    m_files.push_back(std::move(pending));
}

void AtomicBatch::add(fs::path target, std::string_view data, Overwrite overwrite) {
    add(
        std::move(target), [&](AtomicFile& file) { file.write(data); }, overwrite);
}

void AtomicBatch::flush_files(const std::vector<bool>& flushed, std::vector<std::string>& errors) {
    const auto count = static_cast<std::size_t>(std::count(flushed.begin(), flushed.end(), true));
    if (count <= k_most_files_flushed_one_by_one) {
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            if (!flushed[i]) continue;
            const auto& file = m_files[i]->file;
            if (const int error = disk_flush::flush_new_file(file.m_temp); error != 0) {
                errors[i] = describe_file_error("flush", file.target(), error);
            }
            crash_point();
        }
        return;
    }
    for (const auto& file_system : m_file_systems) {
        const auto on_it = [&](std::size_t i) {
            return flushed[i] && m_files[i]->device == file_system.device;
        };
        bool any = false;
        for (std::size_t i = 0; i < m_files.size() && !any; ++i) any = on_it(i);
        if (!any) continue;
        const int error = disk_flush::flush_file_system(file_system.fd);
        crash_point();
        if (error == 0) continue;
        for (std::size_t i = 0; i < m_files.size(); ++i) {
            if (on_it(i)) errors[i] = describe_file_error("flush", m_files[i]->file.target(), error);
        }
    }
}

// Puts an output that was not flushed in place; a name taken since commit() looked is then
// flushed first, as an output that replaces. Throws Error.
void AtomicBatch::put_in_place(Pending& pending) {
    auto& file = pending.file;
    if (file.placed_under_free_name(pending.overwrite)) return;
    if (const int error = disk_flush::flush_new_file(file.m_temp); error != 0) {
        throw_file_error("flush", file.target(), error);
    }
    crash_point();
    file.rename_over_target(pending.overwrite);
}

std::vector<BatchFailure> AtomicBatch::commit() {
    std::vector<std::string> errors(m_files.size());
    std::vector<bool> flushed(m_files.size());
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        flushed[i] = m_flush == Flush::always || !m_files[i]->file.target_is_free();
    }
    flush_files(flushed, errors);
    auto files = std::exchange(m_files, {});
    for (const auto& file_system : std::exchange(m_file_systems, {})) ::close(file_system.fd);

    std::vector<fs::path> folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!errors[i].empty()) continue;
        auto& pending = *files[i];
        try {
            if (flushed[i]) {
                pending.file.rename_over_target(pending.overwrite);
            } else {
                put_in_place(pending);
            }
        } catch (const Error& error) {
            errors[i] = error.what();
        }
        if (!errors[i].empty()) continue;
        crash_point();
        auto folder = pending.file.target().parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
        }
    }

    // A folder's flush only makes the renames last; no earlier file depends on it.
    if (m_flush == Flush::when_replacing) folders.clear();
    for (const auto& folder : folders) {
        const int error = disk_flush::flush_folder(folder);
        crash_point();
        if (error == 0) continue;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto& target = files[i]->file.target();
            if (errors[i].empty() && target.parent_path() == folder) {
                errors[i] = describe_file_error("flush the folder of", target, error);
            }
        }
    }

    std::vector<BatchFailure> failures;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!errors[i].empty()) failures.push_back({files[i]->file.target(), std::move(errors[i])});
    }
    return failures;
}

}  // namespace helmkit
