#ifndef VORLIX_TERMINATION_H
#define VORLIX_TERMINATION_H

#include <sys/types.h>

// vorlix ended by a signal (SIGTERM, SIGINT, SIGHUP: "pkill vorlix", a
// closed terminal, the session ending) still leaves nothing behind that
// could act later: the process group of the child it waits for is ended,
// and the job's private marker folder removed.

// At start: handlers for those three signals, except one the parent left
// ignored (nohup), which stays ignored.
void end_cleanly_on_termination();

// The process group of the child being waited for now; 0 for none.
void note_child_group(pid_t group);

// The job's marker folder and the marker in it, removed at termination;
// null for none. The strings must outlive the job.
void note_marker(const char *dir, const char *marker);

// The job's mark on its disk (jobs/disk_mark.h), removed at termination once
// the child is ended; null for none, and from the moment the tool's
// terminal is started, which may keep the tool running beyond it. The
// string must outlive the job.
void note_disk_mark(const char *path);

#endif
