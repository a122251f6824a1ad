#include "app/volume_end.h"

#include "app/vorlix_application.h"
#include "common/wait_limits.h"
#include "platform/disk_devices.h"
#include "platform/mount_events.h"
#include "platform/mount_table.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <stdlib.h>

#include <algorithm>
#include <vector>

namespace {

enum class Presence { mounted, unmounted, cannot_tell };

// A mount whose owner cannot be told may be the volume's: it keeps it.
Presence presence(const DeviceSet &volume)
{
    std::vector<MountEntry> mounts;
    if (!list_mounts(&mounts))
        return Presence::cannot_tell;
    for (const MountEntry &m : mounts)
        if (mount_owner(m, volume) != Owner::other)
            return Presence::mounted;
    return Presence::unmounted;
}

// The first look again after news that found the device still held, and
// how much longer each later one waits: a daemon usually ends at once.
const int first_look_ms = 50;

class VolumeEnd : public QObject
{
public:
    explicit VolumeEnd(const char *device)
        : device(device)
    {
        if (!events.open())
            return;
        // Opened first: a change from here on is news, so none falls
        // between this look and the first news.
        seen_mounted = presence(volume_devices(device)) == Presence::mounted;
        notifier = new QSocketNotifier(events.descriptor(),
                                       MountEvents::news_is_priority() ? QSocketNotifier::Exception
                                                                       : QSocketNotifier::Read,
                                       this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            if (!events.take_news())
                return;
            held_since.invalidate();
            judge();
        });
        look_again.setSingleShot(true);
        connect(&look_again, &QTimer::timeout, this, [this] { judge(); });
    }

private:
    void judge()
    {
        if (VorlixApplication::action_runs()) {
            VorlixApplication::once_actions_returned([this] { judge(); });
            return;
        }
        const DeviceSet volume = volume_devices(device);
        const Presence now = presence(volume);
        if (now == Presence::mounted)
            seen_mounted = true;
        if (now != Presence::unmounted || !seen_mounted) {
            look_again.stop();
            return;
        }
        if (devices_released(volume))
            exit(0);
        // Still held: a FUSE daemon ends in its own time after its unmount,
        // and no news tells when. Looked at again, less and less often,
        // within the time Unmount gives it; after that the window stays,
        // and Unmount says what holds it.
        if (!held_since.isValid()) {
            held_since.start();
            look_again.start(first_look_ms);
            return;
        }
        const qint64 left = wait_limits().release_ms - held_since.elapsed();
        if (left > 0)
            look_again.start(static_cast<int>(std::min<qint64>(left, 2 * look_again.interval())));
    }

    const char *device;
    MountEvents events;
    QSocketNotifier *notifier = nullptr;
    bool seen_mounted = false;
    QElapsedTimer held_since; // invalid: not found held since the last news
    QTimer look_again;
};

} // namespace

void end_with_volume(const char *device)
{
    // Lives as long as the process, as the window does.
    new VolumeEnd(device);
}
