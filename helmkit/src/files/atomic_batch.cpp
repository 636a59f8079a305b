#include "helmkit/files/atomic_batch.hpp"

#include <algorithm>
#include <utility>

#include "crash_points.hpp"
#include "disk_flush.hpp"
#include "helmkit/base/error.hpp"

namespace fs = std::filesystem;

namespace helmkit {

struct AtomicBatch::Pending {
    AtomicFile file;
    Overwrite overwrite;
};

AtomicBatch::AtomicBatch() = default;

AtomicBatch::~AtomicBatch() = default;

void AtomicBatch::add(fs::path target, const std::function<void(AtomicFile&)>& write,
                      Overwrite overwrite) {
    auto pending = std::make_unique<Pending>(Pending{AtomicFile(std::move(target)), overwrite});
    write(pending->file);
    // Closed now, so that a batch of thousands of files holds no descriptor open.
    pending->file.close_fd();
    crash_point();
    m_files.push_back(std::move(pending));
}

void AtomicBatch::add(fs::path target, std::string_view data, Overwrite overwrite) {
    add(std::move(target), [&](AtomicFile& file) { file.write(data); }, overwrite);
}

std::vector<BatchFailure> AtomicBatch::commit() {
    auto files = std::exchange(m_files, {});
    std::vector<std::string> errors(files.size());

    // Writing every file back first lets the flushes below overlap instead of each waiting
    // for its own turn of the disk.
    for (const auto& pending : files) disk_flush::start_writeback(pending->file.temp_path());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& file = files[i]->file;
        if (const int error = disk_flush::flush_new_file(file.temp_path()); error != 0) {
            errors[i] = describe_file_error("flush", file.target(), error);
        }
        crash_point();
    }

    std::vector<fs::path> folders;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!errors[i].empty()) continue;
        auto& pending = *files[i];
        try {
            pending.file.rename_over_target(pending.overwrite);
        } catch (const Error& error) {
            errors[i] = error.what();
            continue;
        }
        crash_point();
        auto folder = pending.file.target().parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
        }
    }

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
