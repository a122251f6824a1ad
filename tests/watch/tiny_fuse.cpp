// A FUSE filesystem with nothing in it but its empty root folder, for the
// agent's test: whoever runs it chooses what its mount calls itself
// (-o fsname=/dev/loop0) and who may enter it (-o allow_other), as any
// user may with such a program.
//
//   vorlix-test-fuse [-f] [-o options] MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

namespace {

int root_getattr(const char *path, struct stat *st, struct fuse_file_info *)
{
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
}

int root_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t, struct fuse_file_info *,
                 enum fuse_readdir_flags)
{
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    struct fuse_operations ops = {};
    ops.getattr = root_getattr;
    ops.readdir = root_readdir;
    return fuse_main(argc, argv, &ops, nullptr);
}
