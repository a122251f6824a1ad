#ifndef VORLIX_VOLUME_END_H
#define VORLIX_VOLUME_END_H

// The window stands for one volume. Once something else has unmounted it
// (a file manager's eject, an automounter's timer, umount in a shell), its
// buttons would act on nothing, or on the next stick given its name; so
// the program ends, with status 0, as after Unmount.
//
// It learns of mounts and unmounts from the system's news (mount_events.h),
// in the event loop, and judges them only while no action runs: news met
// during one (a box, the file dialog, a companion or a job being waited
// for) is judged once it has returned, and a job that has begun ends the
// program itself. The volume counts as gone as Unmount counts it: no
// filesystem of its device mounted anywhere, nor one that cannot be told
// apart from it, and nothing left holding the device. A daemon that lets
// go of it a moment after its unmount is given wait_limits().release_ms.
// Only a volume seen mounted since the start can go: one that never was
// ends nothing.
//
// Starts watching device. Where the system gives no such news, the window
// stays, as it did.
void end_with_volume(const char *device);

#endif
