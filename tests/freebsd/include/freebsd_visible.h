/* What FreeBSD's <stdlib.h> declares by default (its BSD visibility) and
 * the Linux C library does not, written from devname(3), so that the
 * FreeBSD branch of the platform layer builds on Linux for the tests.
 * Included before every source there (see tests/CMakeLists.txt), where
 * devname_r is renamed like the other fakes. */
#ifndef VORLIX_SHIM_FREEBSD_VISIBLE_H
#define VORLIX_SHIM_FREEBSD_VISIBLE_H
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif
char *devname_r(dev_t dev, mode_t type, char *buf, int len);
#ifdef __cplusplus
}
#endif
#endif
