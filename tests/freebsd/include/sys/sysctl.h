/* sysctlbyname(3) and the kern.proc selector procstat_getprocs(3) takes,
 * written from FreeBSD's manual pages, so that the FreeBSD branch builds on
 * Linux (whose C library no longer has <sys/sysctl.h>) for the tests, which
 * rename the call and fake it. */
#ifndef VORLIX_SHIM_SYS_SYSCTL_H
#define VORLIX_SHIM_SYS_SYSCTL_H
#include <stddef.h>
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif
#define KERN_PROC_PROC 8
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen);
#ifdef __cplusplus
}
#endif
#endif
