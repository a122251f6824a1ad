#include "platform/mount_table.h"

#include "common/disk_names.h"
#include "platform/target.h"

// Fields of the table escape space, tab, newline and backslash as \ooo.
std::string decode_octal_escapes(const char *s)
{
    std::string out;
    for (; *s != '\0'; ++s) {
        if (s[0] == '\\' && s[1] >= '0' && s[1] <= '7' && s[2] >= '0' && s[2] <= '7'
            && s[3] >= '0' && s[3] <= '7') {
            out += static_cast<char>((s[1] - '0') * 64 + (s[2] - '0') * 8 + (s[3] - '0'));
            s += 3;
        } else {
            out += *s;
        }
    }
    return out;
}

std::vector<std::string> mount_options(const std::string &options)
{
    std::vector<std::string> split;
    size_t pos = 0;
    while (pos <= options.size()) {
        size_t end = options.find(',', pos);
        if (end == std::string::npos)
            end = options.size();
        split.push_back(options.substr(pos, end - pos));
        pos = end + 1;
    }
    return split;
}

#if VORLIX_ON_FREEBSD

#include <errno.h>
#include <string.h>
#include <sys/param.h>
#include <sys/ucred.h>
#include <sys/mount.h>

bool list_mounts(std::vector<MountEntry> *mounts)
{
    struct statfs *table = nullptr;
    const int count = getmntinfo(&table, MNT_NOWAIT);
    if (count <= 0)
        return false;
    mounts->clear();
    for (int i = 0; i < count; ++i) {
        MountEntry entry;
        entry.source = table[i].f_mntfromname;
        entry.dir = table[i].f_mntonname;
        entry.type = table[i].f_fstypename;
        entry.owner = table[i].f_owner;
        static_assert(sizeof entry.fsid == sizeof table[i].f_fsid, "fsid_t is two 32-bit values");
        memcpy(&entry.fsid, &table[i].f_fsid, sizeof entry.fsid);
        mounts->push_back(entry);
    }
    return true;
}

bool read_mountinfo(const char *, std::vector<MountEntry> *)
{
    errno = ENOSYS; // no other namespaces to look into
    return false;
}

#else // Linux: the mount table of our own mount namespace.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sysmacros.h>

namespace {

// "id parent major:minor root mount-point options [optional...] - type source super-options"
// Fields are apart by exactly one blank, and one may be empty: a source
// mounted as "" stands as nothing between two blanks. Taking a run of
// blanks for one would make the options the source.
bool parse_line(char *line, MountEntry *entry)
{
    line[strcspn(line, "\n")] = '\0';
    std::vector<const char *> fields;
    for (char *f = line;;) {
        fields.push_back(f);
        char *blank = strchr(f, ' ');
        if (blank == nullptr)
            break;
        *blank = '\0';
        f = blank + 1;
    }

    size_t dash = 6; // the optional fields end at a lone "-"
    while (dash < fields.size() && strcmp(fields[dash], "-") != 0)
        ++dash;
    unsigned major_no = 0, minor_no = 0;
    if (dash + 2 >= fields.size() || sscanf(fields[2], "%u:%u", &major_no, &minor_no) != 2)
        return false;
    entry->id = atoi(fields[0]);
    entry->parent = atoi(fields[1]);
    entry->dir = decode_octal_escapes(fields[4]);
    entry->source = decode_octal_escapes(fields[dash + 2]);
    entry->type = decode_octal_escapes(fields[dash + 1]);
    if (dash + 3 < fields.size())
        entry->options = fields[dash + 3];
    entry->dev = makedev(major_no, minor_no);
    return true;
}

} // namespace

bool list_mounts(std::vector<MountEntry> *mounts)
{
    return read_mountinfo("/proc/self/mountinfo", mounts);
}

bool read_mountinfo(const char *path, std::vector<MountEntry> *mounts)
{
    FILE *f = fopen(path, "re");
    if (f == nullptr)
        return false;
    mounts->clear();
    char *line = nullptr;
    size_t cap = 0;
    while (getline(&line, &cap, f) > 0) {
        MountEntry entry;
        if (parse_line(line, &entry))
            mounts->push_back(entry);
    }
    free(line);
    fclose(f);
    return true;
}

#endif

bool on_top_of_folder(const std::vector<MountEntry> &mounts, size_t i)
{
    const std::string dir = collapse_path(mounts[i].dir.c_str());
    for (size_t j = 0; j < mounts.size(); ++j) {
        if (j == i || collapse_path(mounts[j].dir.c_str()) != dir)
            continue;
        const bool lies_on_it = mounts[i].id != 0 ? mounts[j].parent == mounts[i].id : j > i;
        if (lies_on_it)
            return false;
    }
    return true;
}
