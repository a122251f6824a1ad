#ifndef VORLIX_TARGET_H
#define VORLIX_TARGET_H

// Which system's calls the platform layer makes. The tests also build the
// FreeBSD branch on Linux, with VORLIX_FREEBSD_BRANCH defined, against
// fakes of those calls fed from tables.
#if defined(__FreeBSD__) || defined(VORLIX_FREEBSD_BRANCH)
#define VORLIX_ON_FREEBSD 1
#else
#define VORLIX_ON_FREEBSD 0
#endif

#endif
