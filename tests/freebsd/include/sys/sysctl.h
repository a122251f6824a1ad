/* sysctl(3) and the kern.proc selector procstat_getprocs(3) takes, written
 * from the manual pages, for the FreeBSD branch built on Linux (whose C
 * library no longer has this header). */
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
