#ifndef VORLIX_DEV_BLOCK_NODE_H
#define VORLIX_DEV_BLOCK_NODE_H

#include <QByteArray>
#include <QList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

// A block device node right in the system's /dev (where a FUSE mount's
// source counts), with a number not among taken; its number in *number.
// Only ever looked at, never opened. Empty when there is none.
inline QByteArray dev_block_node(const QList<dev_t> &taken, dev_t *number)
{
    QByteArray found;
    if (DIR *d = opendir("/dev")) {
        while (const dirent *e = readdir(d)) {
            struct stat st;
            const QByteArray path = QByteArray("/dev/") + e->d_name;
            if (lstat(path.constData(), &st) == 0 && S_ISBLK(st.st_mode) && !taken.contains(st.st_rdev)) {
                found = path;
                *number = st.st_rdev;
                break;
            }
        }
        closedir(d);
    }
    return found;
}

#endif
