#ifndef VORLIX_FS_QUERY_H
#define VORLIX_FS_QUERY_H

#include <stdint.h>

// What the filesystem info report needs from the system about the
// filesystem that holds a path.
struct FsUsage {
    uint64_t block_size;  // unit of the counts below
    uint64_t blocks;      // data blocks in the filesystem
    uint64_t free_blocks; // free blocks, the superuser's reserve included
    // Free blocks a user may still write: on FreeBSD the superuser's
    // reserve left out (statfs's f_bavail, as df shows it; 0 while the
    // reserve is being eaten into); on Linux the same as free_blocks.
    uint64_t available_blocks;
    char mounted_on[1025]; // directory the system says it is mounted on
};

// Fills *usage for the filesystem holding path. Returns 0, or -1 with errno
// set when the system cannot tell.
int fs_query(const char *path, FsUsage *usage);

#endif
