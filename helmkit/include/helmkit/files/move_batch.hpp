#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/files/atomic_batch.hpp"
#include "helmkit/files/file_mg.hpp"

namespace helmkit::fileMg {

// Many moves with a backup each, as move_file_force makes them, that pay for the flushes to
// disk once: add() copies each source to a temporary beside its backup; commit() flushes all
// copies together, renames them into place and flushes the backup folders, and only then moves
// the sources and flushes the folders they left and entered. No source is moved before its
// backup is on disk; a crash at any moment leaves every file complete in its folder, at its
// destination or as its backup. Without commit() nothing is moved and no copy is left.
class MoveBatch {
public:
    MoveBatch();
    ~MoveBatch();
    MoveBatch(const MoveBatch&) = delete;
    MoveBatch& operator=(const MoveBatch&) = delete;

    // Returns the names a move to `dest` with a backup at `backup` takes: each of them, or when
    // it exists or an earlier call of this batch took it, the first free name made by adding
    // _2, _3, ... before the extension; takes them for this batch. Touches nothing on disk,
    // so a dry run can show the real names. Throws Error when no free name is found.
    MovedFile reserve(const std::filesystem::path& dest, const std::filesystem::path& backup);

    // Plans moving `src` to `dest` keeping a copy at `backup`: creates the folders both need,
    // takes the names reserve() gives (a warning through `log` for each one that differs), and
    // copies `src` to a temporary beside the backup. Returns the names. Throws Error naming the
    // files when `src` is not a readable regular file or a folder or the copy cannot be made;
    // nothing is planned then.
    MovedFile add(const std::filesystem::path& src, const std::filesystem::path& dest,
                  const std::filesystem::path& backup, app_logging::Logger& log);

    // The number of moves planned and not yet committed.
    std::size_t size() const { return m_moves.size(); }

    // Makes every planned move, as the class comment says. Returns one text per planned move,
    // in the order they were added: empty when it was moved, otherwise the reason. A move that
    // failed leaves its source where it was (and its backup, when only the move itself failed),
    // except when the one failure was flushing a folder after the move: then the file is at
    // its destination but perhaps not yet on disk there. Leaves the batch empty.
    std::vector<std::string> commit();

private:
    struct Planned {
        std::filesystem::path src;
        MovedFile moved;
    };

    std::set<std::filesystem::path> m_taken;
    AtomicBatch m_backups;
    std::vector<Planned> m_moves;
};

}  // namespace helmkit::fileMg
