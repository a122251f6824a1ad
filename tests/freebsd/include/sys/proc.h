/* The process flag the program reads in kinfo_proc's ki_flag, from
 * FreeBSD's <sys/proc.h>, which <sys/user.h> includes there. */
#ifndef VORLIX_SHIM_SYS_PROC_H
#define VORLIX_SHIM_SYS_PROC_H
#define P_SUGID 0x00000100 /* its user changed since it was started */
#endif
