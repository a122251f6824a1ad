#include "actions/fs_info.h"

#include "actions/failure_reason.h"
#include "actions/qshell.h"
#include "common/format_text.h"
#include "common/message_box.h"
#include "common/texts.h"
#include "platform/fs_probe.h"
#include "platform/fs_query.h"

#include <errno.h>
#include <string.h>

#include <string>

// part * 100 / total. A filesystem with no blocks at all (a FUSE
// filesystem whose daemon is still starting or has died reports that) has
// nothing used and nothing free: 0.0, where the division would give nan.
static double percent_of(double part, double total)
{
    return total == 0.0 ? 0.0 : part * 100.0 / total;
}

void format_fs_info(char *buf, size_t size, const char *mounted_on, const char *fs_type,
                    const char *device, uint64_t block_size, uint64_t blocks,
                    uint64_t free_blocks, uint64_t available_blocks)
{
    const uint64_t used_blocks = blocks - free_blocks;
    const double total_bytes = static_cast<double>(block_size * blocks);
    const double used_bytes = static_cast<double>(used_blocks * block_size);
    const double avail_bytes = static_cast<double>(block_size * available_blocks);
    const double used_pct = percent_of(static_cast<double>(used_blocks), static_cast<double>(blocks));
    const double avail_pct = percent_of(static_cast<double>(available_blocks), static_cast<double>(blocks));
    const double gb = 1e9;
    const double gib = 1073741824.0;

    format_text(buf, size, tx(Text::fs_info), mounted_on, fs_type, device,
                total_bytes / gb, total_bytes / gib,
                used_bytes / gb, used_bytes / gib, used_pct,
                avail_bytes / gb, avail_bytes / gib, avail_pct);
}

void QShell::info()
{
    // statfs asks the filesystem itself, which may have stopped answering.
    const char *folder = mount_point;
    std::string answer;
    const bool answered = probe([folder] {
        FsUsage found;
        if (fs_query(folder, &found) != 0)
            return std::string();
        return std::string(reinterpret_cast<const char *>(&found), sizeof found);
    }, &answer);
    FsUsage usage;
    if (!answered || answer.size() != sizeof usage) {
        if (!answered && errno == ETIMEDOUT)
            tell_not_responding(mount_point);
        message_box(tx(Text::no_fs_info));
        return;
    }
    memcpy(&usage, answer.data(), sizeof usage);
    char msg[1025];
    format_fs_info(msg, sizeof msg, usage.mounted_on, fs_type, device, usage.block_size,
                   usage.blocks, usage.free_blocks, usage.available_blocks);
    message_box(msg);
}
