/* sysctlbyname(3), written from FreeBSD's manual page, so that the FreeBSD
 * branch builds on Linux (whose C library no longer has <sys/sysctl.h>)
 * for the tests, which rename the call and fake it. */
#ifndef VORLIX_SHIM_SYS_SYSCTL_H
#define VORLIX_SHIM_SYS_SYSCTL_H
#include <stddef.h>
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen);
#ifdef __cplusplus
}
#endif
#endif
