// Another user's move against the agent's check of a mount point, for the
// agent's test: over and over, once something is mounted on DIR/d/mnt (a
// folder that user owns the parent of), it waits a moment of varying
// length, renames DIR/d to DIR/old and makes DIR/d/mnt anew, a plain
// folder of its own; then it waits until the test has taken DIR/old away.
//
//   vorlix-test-rename-racer DIR ROUNDS
//
// Exits 0 after ROUNDS rounds, 1 when a step fails, 2 when a round waits
// more than 10 s.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

void pause_us(long us)
{
    struct timespec ts = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Polls every 50 us until ready() holds; false after 10 s.
template <typename Ready>
bool wait_until(Ready ready)
{
    for (long waited = 0; waited < 10L * 1000 * 1000; waited += 50) {
        if (ready())
            return true;
        pause_us(50);
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s DIR ROUNDS\n", argv[0]);
        return 64;
    }
    const std::string d = std::string(argv[1]) + "/d", mnt = d + "/mnt", old = std::string(argv[1]) + "/old";
    const long rounds = strtol(argv[2], nullptr, 10);
    for (long round = 0; round < rounds; ++round) {
        const bool mounted = wait_until([&] {
            struct stat parent, folder;
            return stat(d.c_str(), &parent) == 0 && stat(mnt.c_str(), &folder) == 0 && parent.st_dev != folder.st_dev;
        });
        if (!mounted)
            return 2;
        // Anywhere from at once to 3 ms later: somewhere in there lies the
        // agent's reading of the table, and its child's check.
        pause_us((round * 7919) % 3000);
        if (rename(d.c_str(), old.c_str()) != 0 || mkdir(d.c_str(), 0755) != 0 || mkdir(mnt.c_str(), 0755) != 0) {
            perror("vorlix-test-rename-racer");
            return 1;
        }
        // The test unmounts and removes old before it mounts again.
        if (!wait_until([&] { return access(old.c_str(), F_OK) != 0; }))
            return 2;
    }
    return 0;
}
