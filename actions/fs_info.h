#ifndef VORLIX_FS_INFO_H
#define VORLIX_FS_INFO_H

#include <stddef.h>
#include <stdint.h>

// Writes the filesystem info report into buf (cut to size): where the
// filesystem is mounted, the volume's type and device, and its total, used
// and available space in GB and GiB with percentages. Used is what is not
// free; available is what a user may still write (available_blocks), which
// on FreeBSD leaves out the superuser's reserve, as df does.
void format_fs_info(char *buf, size_t size, const char *mounted_on, const char *fs_type,
                    const char *device, uint64_t block_size, uint64_t blocks,
                    uint64_t free_blocks, uint64_t available_blocks);

#endif
