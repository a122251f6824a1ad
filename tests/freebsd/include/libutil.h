/* The process and open-file readers of libutil, written from
 * kinfo_getallproc(3) and kinfo_getfile(3), for the FreeBSD branch built on
 * Linux, where the tests rename and fake them. Each returns one
 * malloc(3)ed array, or NULL with errno set. */
#ifndef VORLIX_SHIM_LIBUTIL_H
#define VORLIX_SHIM_LIBUTIL_H
#include <sys/types.h>
#include <sys/user.h>
#ifdef __cplusplus
extern "C" {
#endif
struct kinfo_file *kinfo_getfile(pid_t pid, int *cntp);
struct kinfo_proc *kinfo_getallproc(int *cntp);
#ifdef __cplusplus
}
#endif
#endif
