/* sysctl(3) and sysctlbyname(3), with the kern.proc names the program
 * asks for, written from FreeBSD's manual pages, so that the FreeBSD branch
 * builds on Linux (whose C library no longer has <sys/sysctl.h>) for the
 * tests, which rename the calls and fake them. */
#ifndef VORLIX_SHIM_SYS_SYSCTL_H
#define VORLIX_SHIM_SYS_SYSCTL_H
#include <stddef.h>
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif
#define CTL_KERN 1
#define KERN_PROC 14
#define KERN_PROC_PROC 8
#define KERN_PROC_ARGS 7
int sysctl(const int *name, u_int namelen, void *oldp, size_t *oldlenp, const void *newp, size_t newlen);
int sysctlbyname(const char *name, void *oldp, size_t *oldlenp, const void *newp, size_t newlen);
#ifdef __cplusplus
}
#endif
#endif
